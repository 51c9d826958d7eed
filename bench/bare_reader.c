/* The least a framed reader can do: unbuffered binary standard input, one read for the length,
 * one for the body, nothing done with the body. The host's inbound rate and start-up time are
 * measured against this. */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(void) {
    char* body = NULL;
    size_t capacity = 0;
    unsigned long frames = 0;
#ifdef _WIN32
    if (_setmode(_fileno(stdin), _O_BINARY) == -1) {
        return 1;
    }
#endif
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
