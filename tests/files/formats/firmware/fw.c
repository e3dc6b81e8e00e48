/* Small firmware for the format tests: code, constants, initialised and
   zeroed data, and a section at the top of the address space. */
void reset(void);

__attribute__((section(".vectors"), used)) void (*const vectors[])(void) = {
    (void (*)(void))0x20004000, reset};
__attribute__((section(".top"), used)) const unsigned char signature[32] = {
    'd', 'w', 'x', 'v', 'm', 'm', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const char greeting[] = "hello, flash";
volatile int counter = 42;
volatile char message[] = "in ram";
volatile int zeroes[16];

void reset(void) {
  for (;;) zeroes[counter++ & 15] = message[counter & 3] + greeting[1];
}
