/* The least a framed peer can do to answer: each frame is sent straight back as it came. The
 * host's round trip is measured against this. */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
    char* body = NULL;
    size_t capacity = 0;
    if (setvbuf(stdin, NULL, _IONBF, 0) != 0 || setvbuf(stdout, NULL, _IONBF, 0) != 0) {
        return 1;
    }
    for (;;) {
        int32_t length = 0;
        if (fread(&length, 1, sizeof length, stdin) != sizeof length) {
            break;
        }
        if (length <= 0) {
            continue;
        }
        if ((size_t)length > capacity) {
            char* grown = realloc(body, (size_t)length);
            if (grown == NULL) {
                break;
            }
            body = grown;
            capacity = (size_t)length;
        }
        if (fread(body, 1, (size_t)length, stdin) != (size_t)length) {
            break;
        }
        fwrite(&length, 1, sizeof length, stdout);
        fwrite(body, 1, (size_t)length, stdout);
        fflush(stdout);
    }
    free(body);
    return 0;
}
