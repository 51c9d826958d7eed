/* The least a framed reader can do: unbuffered binary standard input, one read for the length,
 * one for the body, nothing done with the body. The host's inbound rate and start-up time are
 * measured against this. */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
    char* body = NULL;
    size_t capacity = 0;
    unsigned long frames = 0;
    if (setvbuf(stdin, NULL, _IONBF, 0) != 0) {
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
        ++frames;
    }
    free(body);
    /* On standard error, so that a caller can check every frame arrived. */
    fprintf(stderr, "%lu\n", frames);
    return 0;
}
