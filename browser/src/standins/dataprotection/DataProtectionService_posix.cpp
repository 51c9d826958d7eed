#include "DataProtectionService.h"

#include <sodium.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorInvalidParameter = 87;

constexpr size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;

thread_local uint32_t t_lastError = 0;

bool Fail(uint32_t error) {
    t_lastError = error;
    return false;
}

// The per-process key, made on first use and kept in guarded memory for the life of the process.
const unsigned char* ProcessKey() {
    static std::once_flag once;
    static unsigned char* key = nullptr;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            return;
        }
        auto* made = static_cast<unsigned char*>(sodium_malloc(kKeySize));
        if (made == nullptr) {
            return;
        }
        crypto_aead_xchacha20poly1305_ietf_keygen(made);
        sodium_mprotect_readonly(made);
        key = made;
    });
    return key;
}

// Output buffers remember their size in front of the data, so that freeing can wipe them whole.
struct OutputHeader {
    size_t size;
};
constexpr size_t kHeaderSize = alignof(std::max_align_t) > sizeof(OutputHeader)
                                   ? alignof(std::max_align_t)
                                   : sizeof(OutputHeader);

unsigned char* AllocateOutput(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(kHeaderSize + size));
    if (block == nullptr) {
        return nullptr;
    }
    OutputHeader header{size};
    std::memcpy(block, &header, sizeof header);
    return block + kHeaderSize;
}

bool ValidBlob(const QuenlowDataBlob* blob) {
    return blob != nullptr && (blob->pbData != nullptr || blob->cbData == 0);
}

// Associated data of the AEAD: the entropy, or nothing.
struct AdditionalData {
    const unsigned char* data = nullptr;
    unsigned long long size = 0;
};

AdditionalData FromEntropy(const QuenlowDataBlob* entropy) {
    AdditionalData ad;
    if (entropy != nullptr && entropy->cbData > 0) {
        ad.data = entropy->pbData;
        ad.size = entropy->cbData;
    }
    return ad;
}

bool CheckArguments(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
                    const QuenlowDataBlob* output) {
    return ValidBlob(input) && (entropy == nullptr || ValidBlob(entropy)) && output != nullptr;
}

bool Protect(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
             QuenlowDataBlob* output) {
    if (!CheckArguments(input, entropy, output)) {
        return Fail(kErrorInvalidParameter);
    }
    const size_t blobSize = kNonceSize + input->cbData + kTagSize;
    if (blobSize > UINT32_MAX) {
        return Fail(kErrorInvalidParameter);
    }
    const unsigned char* key = ProcessKey();
    unsigned char* blob = key != nullptr ? AllocateOutput(blobSize) : nullptr;
    if (blob == nullptr) {
        return Fail(kErrorNotEnoughMemory);
    }
    randombytes_buf(blob, kNonceSize);
    const AdditionalData ad = FromEntropy(entropy);
    unsigned long long cipherSize = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(blob + kNonceSize, &cipherSize, input->pbData,
                                               input->cbData, ad.data, ad.size, nullptr, blob, key);
    output->pbData = blob;
    output->cbData = static_cast<uint32_t>(kNonceSize + cipherSize);
    return true;
}

bool Unprotect(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
               QuenlowDataBlob* output) {
    if (!CheckArguments(input, entropy, output)) {
        return Fail(kErrorInvalidParameter);
    }
    if (input->cbData < kNonceSize + kTagSize) {
        return Fail(kErrorInvalidData);
    }
    const unsigned char* key = ProcessKey();
    const size_t plainCapacity = input->cbData - kNonceSize - kTagSize;
    unsigned char* plain = key != nullptr ? AllocateOutput(plainCapacity) : nullptr;
    if (plain == nullptr) {
        return Fail(kErrorNotEnoughMemory);
    }
    const AdditionalData ad = FromEntropy(entropy);
    unsigned long long plainSize = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            plain, &plainSize, nullptr, input->pbData + kNonceSize, input->cbData - kNonceSize,
            ad.data, ad.size, input->pbData, key) != 0) {
        QuenlowFreeData(plain);
        return Fail(kErrorInvalidData);
    }
    output->pbData = plain;
    output->cbData = static_cast<uint32_t>(plainSize);
    return true;
}

}  // namespace

extern "C" {

int QuenlowProtectData(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
                       QuenlowDataBlob* output) {
    return Protect(input, entropy, output) ? 1 : 0;
}

int QuenlowUnprotectData(const QuenlowDataBlob* input, const QuenlowDataBlob* entropy,
                         QuenlowDataBlob* output) {
    return Unprotect(input, entropy, output) ? 1 : 0;
}

void QuenlowFreeData(void* data) {
    if (data == nullptr) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(data) - kHeaderSize;
    OutputHeader header;
    std::memcpy(&header, block, sizeof header);
    sodium_memzero(block, kHeaderSize + header.size);
    std::free(block);
}

uint32_t QuenlowGetLastError(void) {
    return t_lastError;
}

void QuenlowSecureZeroMemory(void* data, size_t size) {
    sodium_memzero(data, size);
}

}  // extern "C"
