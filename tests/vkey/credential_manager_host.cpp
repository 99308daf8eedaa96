#include "credential_manager_host.h"

#include <mbedtls/sha256.h>

#include <algorithm>
#include <mutex>

#include "cbor/cbor_writer.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

void VirtualKeyTestAccess::StorePasskey(VirtualKey& key, StoredCredential credential) {
  std::lock_guard<std::mutex> lock(key.mu_);
  key.ctap_->state_.credentials.push_back(std::move(credential));
}

namespace test {

namespace {

CborWriter& PutText(CborWriter& w, const std::string& text) {
  return w.putText(text.data(), static_cast<std::uint32_t>(text.size()));
}

CborWriter& PutBytes(CborWriter& w, const Bytes& bytes) {
  return w.putBytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

void PutDescriptor(CborWriter& w, const Bytes& credentialId, const std::string& type) {
  PutText(PutBytes(w.beginMap(2).putText("id", 2), credentialId).putText("type", 4), type);
}

template <typename Write>
Bytes Encode(Write write) {
  Bytes buffer(1024);
  CborWriter w(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  write(w);
  buffer.resize(w.length());
  return buffer;
}

}  // namespace

StoredCredential Passkey(const std::string& rpId, std::uint8_t serial, const std::string& userName,
                         const std::string& displayName, const std::string& rpName) {
  StoredCredential credential;
  credential.id.assign(16, serial);
  credential.id[0] = 0xC7;
  credential.rpId = rpId;
  credential.rpName = rpName;
  credential.userId = {'u', serial};
  credential.userName = userName;
  credential.userDisplayName = displayName;
  credential.privateKey[31] = serial;
  return credential;
}

Bytes Sha256(const std::string& text) {
  Bytes hash(32);
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(text.data()), text.size(), hash.data(),
                     0);
  return hash;
}

Bytes RpIdHashParams(const std::string& rpId) {
  return Encode([&](CborWriter& w) { PutBytes(w.beginMap(1).putInt(1), Sha256(rpId)); });
}

Bytes DescriptorParams(const Bytes& credentialId, const std::string& type) {
  return Encode([&](CborWriter& w) { PutDescriptor(w.beginMap(1).putInt(2), credentialId, type); });
}

Bytes UpdateUserParams(const Bytes& credentialId, const Bytes& userId,
                       const std::optional<std::string>& name,
                       const std::optional<std::string>& displayName) {
  return Encode([&](CborWriter& w) {
    PutDescriptor(w.beginMap(2).putInt(2), credentialId, "public-key");
    w.putInt(3).beginMap(1 + name.has_value() + displayName.has_value());
    PutBytes(w.putText("id", 2), userId);
    if (name) PutText(w.putText("name", 4), *name);
    if (displayName) PutText(w.putText("displayName", 11), *displayName);
  });
}

CredentialManagerHost::CredentialManagerHost(std::shared_ptr<VirtualKey> key, std::uint8_t command,
                                             std::uint32_t protocol)
    : pin_(key, key->Config().profile == CtapProfile::kCtap21 ? protocol : 1),
      command_(command),
      protocol_(key->Config().profile == CtapProfile::kCtap21 ? protocol : 1),
      ctap21_(key->Config().profile == CtapProfile::kCtap21) {}

std::uint8_t CredentialManagerHost::Login(const std::string& pin, const TokenAsk& ask,
                                          bool legacy) {
  if (!ctap21_) return host().GetPinToken(pin, &token_);
  return pin_.Token(pin, legacy ? TokenAsk{} : ask, &token_, legacy ? kPinGetPinToken : 9);
}

Bytes CredentialManagerHost::Call(std::uint8_t subCommand, const Bytes& params, Auth auth) {
  Bytes signedPart(1 + params.size());
  signedPart[0] = subCommand;
  std::copy(params.begin(), params.end(), signedPart.begin() + 1);
  Bytes mac = PinProtocolHost::Mac(protocol_, token_.data(), token_.size(), signedPart);
  if (auth == Auth::kWrongMac) mac[0] ^= 0x01;
  const bool withMac = auth != Auth::kNone;
  const bool withProtocol = withMac && auth != Auth::kNoProtocol;
  return Raw(Encode([&](CborWriter& w) {
    w.beginMap(1 + !params.empty() + withProtocol + withMac).putInt(1).putInt(subCommand);
    if (!params.empty())
      w.putInt(2).putRaw(params.data(), static_cast<std::uint32_t>(params.size()));
    if (withProtocol) {
      w.putInt(3).putInt(auth == Auth::kProtocol3 ? 3 : static_cast<std::int32_t>(protocol_));
    }
    if (withMac) PutBytes(w.putInt(4), mac);
  }));
}

Bytes CredentialManagerHost::Raw(const Bytes& cbor) {
  Bytes message(1 + cbor.size());
  message[0] = command_;
  std::copy(cbor.begin(), cbor.end(), message.begin() + 1);
  return host().Ctap(message);
}

}  // namespace test
}  // namespace pinvale::vkey
