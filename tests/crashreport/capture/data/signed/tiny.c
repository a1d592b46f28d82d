/* The program of the signing fixtures: the integrity stamp and two functions. */
const volatile unsigned char kStamp[16] = {0x7F, 'V', 'M', 'F', 'I', 'L', 'E', 'C', 'R', 'C', 0xA5, 0x5A, 0, 0, 0, 0};

__attribute__((noinline)) int Twice(int x) { return 2 * x + kStamp[15]; }

int Start(void) { return Twice(21); }
