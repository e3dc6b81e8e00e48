/* A 64-bit host program without a C library, for the ELF64 case. */
const char text[] = "64-bit";
long value = 0x1122334455667788;
long zero;

void _start(void) {
  for (;;) zero += value + text[0];
}
