/* A program that needs one system library besides the C library (zlib,
   linked dynamically): where the libraries are hidden it must not start. */
#include <stdio.h>
#include <zlib.h>

int main(void) {
    printf("zlib %s\n", zlibVersion());
    return 0;
}
