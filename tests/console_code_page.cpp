// Prints the console's output code page (Windows only), for
// scripts/windows-test to see that a program puts it back when it ends.
#include <windows.h>

#include <cstdio>

int main() {
    std::printf("output code page %u\n", GetConsoleOutputCP());
    return 0;
}
