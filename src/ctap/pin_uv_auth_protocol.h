#pragma once

// The two PIN/UV auth protocols behind one small interface: how the key
// agreement's ECDH value becomes a shared secret, and how that secret (or a PIN
// token) encrypts, decrypts and authenticates. Protocol 1 is SHA-256, a zero IV
// and a 16-byte MAC; protocol 2 is HKDF, a random IV sent in front of the
// ciphertext and the full 32-byte MAC. Everything the PIN requests carry is made
// through this interface, so a request is built the same way for both.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "ctap/pin_crypto.h"
#include "ctap/secret_buffer.h"

namespace pinvale {

constexpr std::size_t kCipherBlockSize = 16;
constexpr std::size_t kMaxSharedSecretSize = 64;  // protocol 2: HMAC key, then AES key
constexpr std::size_t kMaxPinUvAuthParamSize = 32;
constexpr std::size_t kMaxPinTokenSize = 32;

// A ciphertext the protocol cannot take apart (no IV in front, not a whole number
// of blocks), or a token of a length the protocol does not allow. The same code
// the dialogs already show as an answer that was not understood.
constexpr int kPinAnswerNotUnderstood = 0xFF;

// The shared secret of one key agreement: 32 bytes for protocol 1, 64 for 2.
class PinSharedSecret {
 public:
  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  std::size_t size() const { return size_; }
  std::span<const std::uint8_t> span() const { return {bytes_.data(), size_}; }
  void SetSize(std::size_t size) { size_ = size <= kMaxSharedSecretSize ? size : 0; }
  void Wipe() {
    bytes_.Wipe();
    size_ = 0;
  }

 private:
  SecretArray<kMaxSharedSecretSize> bytes_;
  std::size_t size_ = 0;
};

// A pinUvAuthParam: 16 bytes for protocol 1, 32 for 2.
struct PinUvAuthParam {
  std::uint8_t bytes[kMaxPinUvAuthParamSize] = {};
  std::size_t size = 0;
  std::span<const std::uint8_t> span() const { return {bytes, size}; }
};

// Fills `out` with random bytes; 0 or an mbedTLS error. Protocol 2 takes its IVs
// from one, so tests can give it the IV of a published vector.
using RandomFill = std::function<int(std::span<std::uint8_t> out)>;

// The system's generator through mbedTLS's entropy source, seeded per call.
int SystemRandomFill(std::span<std::uint8_t> out);

class PinUvAuthProtocol {
 public:
  virtual ~PinUvAuthProtocol() = default;

  // The number sent as pinUvAuthProtocol (member 1 of every clientPIN request).
  virtual int Number() const = 0;

  // Shared secret from the x coordinate of the ECDH point.
  virtual int Kdf(std::span<const std::uint8_t, kCoordinateSize> z,
                  PinSharedSecret& secret) const = 0;

  // `plaintext` is a whole number of blocks. `out` receives the bytes as sent.
  virtual int Encrypt(const PinSharedSecret& secret, std::span<const std::uint8_t> plaintext,
                      SecretBytes& out) const = 0;

  // kPinAnswerNotUnderstood for a ciphertext of a shape the protocol never sends.
  virtual int Decrypt(const PinSharedSecret& secret, std::span<const std::uint8_t> ciphertext,
                      SecretBytes& out) const = 0;

  // The MAC under a shared secret or a PIN token.
  virtual int Authenticate(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                           PinUvAuthParam& param) const = 0;

  virtual bool TokenLengthAllowed(std::size_t length) const = 0;

  // Encrypted sizes of the 64-byte new-PIN block and the 16-byte PIN hash.
  std::size_t EncryptedSize(std::size_t plaintext) const { return plaintext + IvSize(); }
  virtual std::size_t IvSize() const = 0;

  // The whole key agreement: reads the key's COSE key from a getKeyAgreement
  // answer body, makes a fresh P-256 pair and derives the shared secret. 0,
  // kKeyAgreementUnusable, or the mbedTLS error of a failed curve step.
  int AgreeFromAnswer(const std::uint8_t* body, std::uint32_t length, PinSharedSecret& secret,
                      PlatformPublicKey& platformKey) const;
  int AgreeFromPoint(std::span<const std::uint8_t, kCoordinateSize> deviceX,
                     std::span<const std::uint8_t, kCoordinateSize> deviceY,
                     PinSharedSecret& secret, PlatformPublicKey& platformKey) const;
};

class PinUvAuthProtocolOne final : public PinUvAuthProtocol {
 public:
  int Number() const override { return 1; }
  int Kdf(std::span<const std::uint8_t, kCoordinateSize> z, PinSharedSecret& secret) const override;
  int Encrypt(const PinSharedSecret& secret, std::span<const std::uint8_t> plaintext,
              SecretBytes& out) const override;
  int Decrypt(const PinSharedSecret& secret, std::span<const std::uint8_t> ciphertext,
              SecretBytes& out) const override;
  int Authenticate(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                   PinUvAuthParam& param) const override;
  bool TokenLengthAllowed(std::size_t length) const override {
    return length == 16 || length == 32;
  }
  std::size_t IvSize() const override { return 0; }
};

class PinUvAuthProtocolTwo final : public PinUvAuthProtocol {
 public:
  explicit PinUvAuthProtocolTwo(RandomFill random = SystemRandomFill)
      : random_(std::move(random)) {}
  int Number() const override { return 2; }
  int Kdf(std::span<const std::uint8_t, kCoordinateSize> z, PinSharedSecret& secret) const override;
  int Encrypt(const PinSharedSecret& secret, std::span<const std::uint8_t> plaintext,
              SecretBytes& out) const override;
  int Decrypt(const PinSharedSecret& secret, std::span<const std::uint8_t> ciphertext,
              SecretBytes& out) const override;
  int Authenticate(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                   PinUvAuthParam& param) const override;
  bool TokenLengthAllowed(std::size_t length) const override { return length == 32; }
  std::size_t IvSize() const override { return kCipherBlockSize; }

 private:
  RandomFill random_;
};

// The two protocols as the PIN operations use them, with the system's generator.
const PinUvAuthProtocol& PinProtocolOne();
const PinUvAuthProtocol& PinProtocolTwo();

// The ECDH step both protocols share: a fresh platform pair, and the x
// coordinate of the shared point in `z`.
int ComputeEcdhZ(std::span<const std::uint8_t, kCoordinateSize> deviceX,
                 std::span<const std::uint8_t, kCoordinateSize> deviceY,
                 SecretArray<kCoordinateSize>& z, PlatformPublicKey& platformKey);

// AES-256-CBC without padding under a 32-byte key; `length` a multiple of 16.
int AesCbc(bool encrypt, const std::uint8_t* key, const std::uint8_t* iv, const std::uint8_t* input,
           std::size_t length, std::uint8_t* output);

}  // namespace pinvale
