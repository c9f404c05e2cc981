/* A position-dependent module in miniature: code and data that refer to
   each other by absolute address, so the linker leaves a base relocation of
   type 3 (HIGHLOW) for every such reference. */
static int counter = 3;
static const char banner[] = "kitra test module";
int *const table[] = {&counter, (int *)banner, &counter};

/* Two 16-bit fields, each followed by a word that must never change: the
   copy pe_high_low.efi gets base relocations of types 1 and 2 for them. */
const unsigned short halves[] = {0xFFF0, 0x1111, 0xFFF0, 0x2222};

int entry(void) {
    counter += 2;
    return *table[0] + banner[1] + (int)table[2] + halves[1];
}
