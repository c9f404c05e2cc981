/* A minimal differentiated table for the joined ACPI table input. */
DefinitionBlock ("dsdt.aml", "DSDT", 2, "KITRA ", "TESTDSDT", 0x00000000)
{
    Scope (\_SB)
    {
        Device (PCI0)
        {
            Name (_HID, EisaId ("PNP0A03"))
            Name (_UID, Zero)
        }
    }
}
