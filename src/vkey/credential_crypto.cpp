#include "vkey/credential_crypto.h"

#include <algorithm>

#include <mbedtls/ecdsa.h>
#include <mbedtls/ecp.h>
#include <mbedtls/gcm.h>
#include <mbedtls/sha256.h>

#include "cbor/cbor_writer.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kWrapVersion = 1;
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;
constexpr std::size_t kSealedSize = 33;  // the scalar, then the credProtect level

// The P-256 group and one private scalar, freed (and wiped) on every path.
class Es256Key {
 public:
  Es256Key() {
    mbedtls_ecdsa_init(&key_);
    loaded_ = mbedtls_ecp_group_load(&key_.grp, MBEDTLS_ECP_DP_SECP256R1) == 0;
  }
  ~Es256Key() { mbedtls_ecdsa_free(&key_); }
  Es256Key(const Es256Key&) = delete;
  Es256Key& operator=(const Es256Key&) = delete;

  bool Load(const PrivateKey& privateKey) {
    return loaded_ && mbedtls_mpi_read_binary(&key_.d, privateKey.data(), privateKey.size()) == 0 &&
           mbedtls_ecp_check_privkey(&key_.grp, &key_.d) == 0;
  }
  mbedtls_ecdsa_context& get() { return key_; }
  bool loaded() const { return loaded_; }

 private:
  mbedtls_ecdsa_context key_;
  bool loaded_ = false;
};

bool WritePoint(const mbedtls_ecp_point& point, PublicPoint& publicKey) {
  return mbedtls_mpi_write_binary(&point.X, publicKey.x, 32) == 0 &&
         mbedtls_mpi_write_binary(&point.Y, publicKey.y, 32) == 0;
}

class Gcm {
 public:
  explicit Gcm(const SecretBuffer<32>& key) {
    mbedtls_gcm_init(&gcm_);
    ok_ = mbedtls_gcm_setkey(&gcm_, MBEDTLS_CIPHER_ID_AES, key.data(), 256) == 0;
  }
  ~Gcm() { mbedtls_gcm_free(&gcm_); }
  Gcm(const Gcm&) = delete;
  Gcm& operator=(const Gcm&) = delete;
  bool ok() const { return ok_; }
  mbedtls_gcm_context* get() { return &gcm_; }

 private:
  mbedtls_gcm_context gcm_;
  bool ok_ = false;
};

// The associated data: the version byte and the site, so that an id sealed for one
// site does not open for another.
void AssociatedData(const Sha256Digest& rpIdHash, std::uint8_t out[33]) {
  out[0] = kWrapVersion;
  std::copy(rpIdHash.begin(), rpIdHash.end(), out + 1);
}

}  // namespace

Sha256Digest Sha256(const std::uint8_t* data, std::size_t length) {
  Sha256Digest digest{};
  mbedtls_sha256_ret(data, length, digest.data(), 0);
  return digest;
}

bool GenerateCredentialKey(RandomSource& random, PrivateKey& privateKey, PublicPoint& publicKey) {
  Es256Key key;
  return key.loaded() &&
         mbedtls_ecp_gen_keypair(&key.get().grp, &key.get().d, &key.get().Q, RandomSource::Callback,
                                 &random) == 0 &&
         mbedtls_mpi_write_binary(&key.get().d, privateKey.data(), privateKey.size()) == 0 &&
         WritePoint(key.get().Q, publicKey);
}

bool CredentialPublicKey(const PrivateKey& privateKey, RandomSource& random,
                         PublicPoint& publicKey) {
  Es256Key key;
  return key.Load(privateKey) &&
         mbedtls_ecp_mul(&key.get().grp, &key.get().Q, &key.get().d, &key.get().grp.G,
                         RandomSource::Callback, &random) == 0 &&
         WritePoint(key.get().Q, publicKey);
}

bool SignEs256(const PrivateKey& privateKey, RandomSource& random, const std::uint8_t* first,
               std::size_t firstLength, const std::uint8_t* second, std::size_t secondLength,
               std::vector<std::uint8_t>& signature) {
  mbedtls_sha256_context sha;
  mbedtls_sha256_init(&sha);
  std::uint8_t hash[32];
  const bool hashed = mbedtls_sha256_starts_ret(&sha, 0) == 0 &&
                      mbedtls_sha256_update_ret(&sha, first, firstLength) == 0 &&
                      mbedtls_sha256_update_ret(&sha, second, secondLength) == 0 &&
                      mbedtls_sha256_finish_ret(&sha, hash) == 0;
  mbedtls_sha256_free(&sha);
  Es256Key key;
  if (!hashed || !key.Load(privateKey)) return false;
  signature.assign(MBEDTLS_ECDSA_MAX_LEN, 0);
  std::size_t length = 0;
  if (mbedtls_ecdsa_write_signature(&key.get(), MBEDTLS_MD_SHA256, hash, sizeof hash,
                                    signature.data(), &length, RandomSource::Callback,
                                    &random) != 0 ||
      length > kMaxSignatureSize) {
    signature.clear();
    return false;
  }
  signature.resize(length);
  return true;
}

void AppendCoseKey(const PublicPoint& publicKey, std::vector<std::uint8_t>& out) {
  std::uint8_t buffer[kCoseKeySize];
  CborWriter writer(buffer, sizeof buffer);
  writer.beginMap(5).putInt(1).putInt(2).putInt(3).putInt(kCoseAlgorithmEs256);
  writer.putInt(-1).putInt(1).putInt(-2).putBytes(publicKey.x, 32);
  writer.putInt(-3).putBytes(publicKey.y, 32);
  out.insert(out.end(), buffer, buffer + writer.length());
}

bool WrapCredentialId(const SecretBuffer<32>& credentialKey, RandomSource& random,
                      const Sha256Digest& rpIdHash, const WrappedCredential& credential,
                      std::vector<std::uint8_t>& id) {
  Gcm gcm(credentialKey);
  if (!gcm.ok()) return false;
  SecretBuffer<kSealedSize> sealed;
  std::copy(credential.privateKey.data(), credential.privateKey.data() + 32, sealed.data());
  sealed[32] = credential.credProtect;
  std::uint8_t associated[33];
  AssociatedData(rpIdHash, associated);
  id.assign(kWrappedIdSize, 0);
  id[0] = kWrapVersion;
  std::uint8_t* nonce = id.data() + 1;
  std::uint8_t* body = nonce + kNonceSize;
  std::uint8_t* tag = body + kSealedSize;
  random.Fill(nonce, kNonceSize);
  if (mbedtls_gcm_crypt_and_tag(gcm.get(), MBEDTLS_GCM_ENCRYPT, kSealedSize, nonce, kNonceSize,
                                associated, sizeof associated, sealed.data(), body, kTagSize,
                                tag) != 0) {
    id.clear();
    return false;
  }
  return true;
}

bool UnwrapCredentialId(const SecretBuffer<32>& credentialKey, const Sha256Digest& rpIdHash,
                        const std::uint8_t* id, std::size_t length, WrappedCredential& credential) {
  if (length != kWrappedIdSize || id[0] != kWrapVersion) return false;
  Gcm gcm(credentialKey);
  if (!gcm.ok()) return false;
  std::uint8_t associated[33];
  AssociatedData(rpIdHash, associated);
  const std::uint8_t* nonce = id + 1;
  const std::uint8_t* body = nonce + kNonceSize;
  const std::uint8_t* tag = body + kSealedSize;
  SecretBuffer<kSealedSize> sealed;
  if (mbedtls_gcm_auth_decrypt(gcm.get(), kSealedSize, nonce, kNonceSize, associated,
                               sizeof associated, tag, kTagSize, body, sealed.data()) != 0) {
    return false;
  }
  const std::uint8_t level = sealed[32];
  if (level < 1 || level > 3) return false;
  std::copy(sealed.data(), sealed.data() + 32, credential.privateKey.data());
  credential.credProtect = level;
  return true;
}

}  // namespace pinvale::vkey
