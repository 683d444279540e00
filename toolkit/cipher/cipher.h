#pragma once
// The cipher behind EncStr: a text enciphered with a key text for storage, and its inverse.
//
// Form of a cipher text: "enc1:" + base64(nonce (24 bytes) + XChaCha20-Poly1305 cipher text with
// its 16-byte tag). The key is BLAKE2b-256 of the key text's UTF-8 bytes; the nonce is random, so
// the same text enciphered twice gives two different cipher texts. The tag makes a wrong key, a
// changed byte or a cut text fail to decipher instead of giving garbage.
//
// This library needs Qt Core and libsodium only: the module enciphers with it and the application
// server deciphers an imported password with it and stores its hash.

#include "toolkit/cipher/cipher_export.h"

#include <QString>

#include <optional>

namespace lumeko::cipher {

inline constexpr char kCipherPrefix[] = "enc1:";

// The key the student import enciphers imported passwords with, so that they travel to the server
// unreadable; the server deciphers them and stores only a hash.
inline constexpr char kImportPasswordKey[] = "{6B1F9C1E-3A52-4D8B-9E07-5C2A41D7F0B3}";

// Never fails (libsodium is initialised on first use; a failing initialisation aborts).
LUMEKO_CIPHER_EXPORT QString encStr(const QString &text, const QString &key);

// The text again; nothing when `cipher` is no cipher text of this form or was made with another key.
LUMEKO_CIPHER_EXPORT std::optional<QString> decStr(const QString &cipher, const QString &key);

// Whether `text` has the form of a cipher text (the prefix and well-formed base64 of a plausible
// length). Says nothing of the key.
LUMEKO_CIPHER_EXPORT bool isCipherText(const QString &text);

} // namespace lumeko::cipher
