/* A small secondary table: one device with a status method and a name. */
DefinitionBlock ("ssdt.aml", "SSDT", 2, "KITRA ", "TESTSSDT", 0x00000001)
{
    Scope (\_SB)
    {
        Device (TST0)
        {
            Name (_HID, "KTR0001")
            Name (_UID, One)
            Name (BUFF, Buffer () { 0x01, 0x02, 0x03, 0x04 })
            Method (_STA, 0, NotSerialized)
            {
                Return (0x0F)
            }
        }
    }
}
