/* An init module that runs from ROM where it lies, at the file offsets of
   its sections: linked without base relocations, with the usual 512-byte
   file alignment, so its code's file offset differs from its RVA, and with
   a helper ahead of the entry point, so the entry is not the code's start. */
static const unsigned char registers[] = {0x60, 0x61, 0x62, 0x63};

__attribute__((noinline)) static unsigned mix(unsigned value, unsigned byte) {
    return value * 31 + byte;
}

unsigned entry(void) {
    unsigned value = 0;
    for (unsigned i = 0; i < sizeof registers; ++i) value = mix(value, registers[i]);
    return value;
}
