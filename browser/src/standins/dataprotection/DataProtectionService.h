#pragma once

#include <stddef.h>
#include <stdint.h>

// The data-protection service where the system has none (POSIX): what Windows offers per user,
// made with libsodium's XChaCha20-Poly1305 and a random key per process. Protected blobs are valid
// only inside the process that made them: the key is random per process. Functions report failure
// by returning 0 and set the calling thread's error number: 13 when a blob is refused (not made
// here, altered, or under other entropy), 87 for a bad argument, 8 when memory runs out.

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QuenlowDataBlob {
    uint32_t cbData;
    unsigned char* pbData;
} QuenlowDataBlob;

// `entropy` may be null. On success `output` receives a buffer to be released with
// QuenlowFreeData: nonce, ciphertext and tag, so 40 bytes longer than the input.
int QuenlowProtectData(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
                       QuenlowDataBlob* output);
int QuenlowUnprotectData(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
                         QuenlowDataBlob* output);

// Wipes and releases an output buffer; null is ignored. The error number is left as it is.
void QuenlowFreeData(void* data);

uint32_t QuenlowGetLastError(void);

void QuenlowSecureZeroMemory(void* data, size_t size);

#ifdef __cplusplus
}
#endif
