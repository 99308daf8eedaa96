#include "credential_host.h"

#include <algorithm>

#include <mbedtls/ecdsa.h>
#include <mbedtls/sha256.h>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {

namespace {

CborWriter& Text(CborWriter& w, const std::string& text) {
  return w.putText(text.data(), static_cast<std::uint32_t>(text.size()));
}

CborWriter& Raw(CborWriter& w, const Bytes& bytes) {
  return w.putBytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

void Descriptors(CborWriter& w, const std::vector<Bytes>& ids) {
  w.beginArray(static_cast<std::uint32_t>(ids.size()));
  for (const Bytes& id : ids) {
    w.beginMap(2).putText("id", 2);
    Raw(w, id).putText("type", 4).putText("public-key", 10);
  }
}

void Options(CborWriter& w, std::optional<bool> rk, std::optional<bool> up,
             std::optional<bool> uv) {
  w.beginMap(rk.has_value() + up.has_value() + uv.has_value());
  if (rk) w.putText("rk", 2).putBool(*rk);
  if (up) w.putText("up", 2).putBool(*up);
  if (uv) w.putText("uv", 2).putBool(*uv);
}

Bytes PinAuth(const Bytes& token) {
  Bytes mac(16);
  PinAuth16(token.data(), token.size(), kClientDataHash.data(), kClientDataHash.size(), mac.data());
  return mac;
}

Bytes Finish(std::uint8_t command, const Bytes& buffer, const CborWriter& w) {
  Bytes message(w.length() + 1);
  message[0] = command;
  std::copy(buffer.begin(), buffer.begin() + w.length(), message.begin() + 1);
  return message;
}

Bytes BytesOf(const CborItem& item) {
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  if (!item.getBytes(data, length)) return {};
  return Bytes(data, data + length);
}

CborItem Body(const Bytes& answer) {
  return CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1));
}

std::uint32_t Counter(const Bytes& authData) {
  return static_cast<std::uint32_t>(authData[33]) << 24 | authData[34] << 16 | authData[35] << 8 |
         authData[36];
}

}  // namespace

Bytes MakeCredentialMessage(const MakeArgs& a) {
  Bytes buffer(1024);
  CborWriter w(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  const bool options = a.rk || a.up || a.uv;
  const bool pinAuth = a.token != nullptr || a.emptyPinAuth;
  w.beginMap(4 + !a.excludeList.empty() + (a.credProtect != 0) + options + 2 * pinAuth);
  w.putInt(1);
  Raw(w, kClientDataHash);
  w.putInt(2).beginMap(2).putText("id", 2);
  Text(w, a.rpId).putText("name", 4).putText("Pinvale", 7);
  w.putInt(3).beginMap(2).putText("id", 2);
  Raw(w, a.userId).putText("name", 4);
  Text(w, a.userName);
  w.putInt(4).beginArray(1).beginMap(2).putText("alg", 3).putInt(a.algorithm);
  w.putText("type", 4).putText("public-key", 10);
  if (!a.excludeList.empty()) Descriptors(w.putInt(5), a.excludeList);
  if (a.credProtect != 0) w.putInt(6).beginMap(1).putText("credProtect", 11).putInt(a.credProtect);
  if (options) Options(w.putInt(7), a.rk ? std::optional<bool>(true) : std::nullopt, a.up, a.uv);
  if (pinAuth) {
    Raw(w.putInt(8), a.emptyPinAuth ? Bytes{} : PinAuth(*a.token)).putInt(9).putInt(1);
  }
  return Finish(kCtapMakeCredential, buffer, w);
}

Bytes GetAssertionMessage(const AssertArgs& a) {
  Bytes buffer(1024);
  CborWriter w(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  const bool options = a.up || a.uv;
  w.beginMap(2 + !a.allowList.empty() + options + 2 * (a.token != nullptr));
  Text(w.putInt(1), a.rpId).putInt(2);
  Raw(w, kClientDataHash);
  if (!a.allowList.empty()) Descriptors(w.putInt(3), a.allowList);
  if (options) Options(w.putInt(5), std::nullopt, a.up, a.uv);
  if (a.token != nullptr) Raw(w.putInt(6), PinAuth(*a.token)).putInt(7).putInt(1);
  return Finish(kCtapGetAssertion, buffer, w);
}

MadeCredential ReadMadeCredential(const Bytes& answer) {
  MadeCredential made;
  if (answer.empty()) return made;
  made.status = answer[0];
  if (made.status != kStatusOk) return made;
  const CborItem body = Body(answer);
  const char* text = nullptr;
  std::uint32_t length = 0;
  if (body.mapValueByInt(1).getText(text, length)) made.format.assign(text, length);
  made.authData = BytesOf(body.mapValueByInt(2));
  const CborItem statement = body.mapValueByInt(3);
  statement.mapValueByText("alg", 3).getInt(made.attestationAlg);
  made.signature = BytesOf(statement.mapValueByText("sig", 3));
  const Bytes& data = made.authData;
  if (data.size() < 55) return made;
  made.flags = data[32];
  made.counter = Counter(data);
  made.aaguid.assign(data.begin() + 37, data.begin() + 53);
  const std::size_t idLength = static_cast<std::size_t>(data[53] << 8 | data[54]);
  made.credentialId.assign(data.begin() + 55, data.begin() + 55 + idLength);
  const CborItem cose(data.data() + 55 + idLength,
                      static_cast<std::uint32_t>(data.size() - 55 - idLength));
  made.x = BytesOf(cose.mapValueByInt(-2));
  made.y = BytesOf(cose.mapValueByInt(-3));
  CborItem after;
  if (cose.nextItem(after)) made.extensions.assign(after.data(), after.data() + after.length());
  return made;
}

Assertion ReadAssertion(const Bytes& answer) {
  Assertion assertion;
  if (answer.empty()) return assertion;
  assertion.status = answer[0];
  if (assertion.status != kStatusOk) return assertion;
  const CborItem body = Body(answer);
  assertion.credentialId = BytesOf(body.mapValueByInt(1).mapValueByText("id", 2));
  assertion.authData = BytesOf(body.mapValueByInt(2));
  if (assertion.authData.size() >= 37) {
    assertion.flags = assertion.authData[32];
    assertion.counter = Counter(assertion.authData);
  }
  assertion.signature = BytesOf(body.mapValueByInt(3));
  const CborItem user = body.mapValueByInt(4);
  assertion.hasUser = user.head().majorType == 5;
  assertion.userId = BytesOf(user.mapValueByText("id", 2));
  assertion.userHasName = user.mapValueByText("name", 4).length() > 0;
  body.mapValueByInt(5).getUnsigned(assertion.numberOfCredentials);
  return assertion;
}

bool VerifiesWith(const Bytes& x, const Bytes& y, const Bytes& authData, const Bytes& signature,
                  const Bytes& clientDataHash) {
  Bytes signedData = authData;
  signedData.insert(signedData.end(), clientDataHash.begin(), clientDataHash.end());
  std::uint8_t hash[32];
  mbedtls_sha256_ret(signedData.data(), signedData.size(), hash, 0);
  mbedtls_ecdsa_context key;
  mbedtls_ecdsa_init(&key);
  const bool ok =
      x.size() == 32 && y.size() == 32 &&
      mbedtls_ecp_group_load(&key.grp, MBEDTLS_ECP_DP_SECP256R1) == 0 &&
      mbedtls_mpi_read_binary(&key.Q.X, x.data(), 32) == 0 &&
      mbedtls_mpi_read_binary(&key.Q.Y, y.data(), 32) == 0 && mbedtls_mpi_lset(&key.Q.Z, 1) == 0 &&
      mbedtls_ecdsa_read_signature(&key, hash, sizeof hash, signature.data(), signature.size()) ==
          0;
  mbedtls_ecdsa_free(&key);
  return ok;
}

}  // namespace pinvale::vkey::test
