#include "vkey/authenticator_data.h"

#include "cbor/cbor_writer.h"

namespace pinvale::vkey {

std::vector<std::uint8_t> AuthenticatorData(const Sha256Digest& rpIdHash, std::uint8_t flags,
                                            std::uint32_t signCount,
                                            const AttestedCredential* attested,
                                            std::uint8_t credProtectOutput) {
  const bool extensions = credProtectOutput >= 1 && credProtectOutput <= 3;
  flags &= kFlagUserPresent | kFlagUserVerified;
  if (attested != nullptr) flags |= kFlagAttestedData;
  if (extensions) flags |= kFlagExtensionData;

  std::vector<std::uint8_t> data(rpIdHash.begin(), rpIdHash.end());
  data.push_back(flags);
  for (int shift = 24; shift >= 0; shift -= 8) {
    data.push_back(static_cast<std::uint8_t>(signCount >> shift));
  }
  if (attested != nullptr) {
    data.insert(data.end(), attested->aaguid->begin(), attested->aaguid->end());
    const std::size_t idLength = attested->credentialId->size();
    data.push_back(static_cast<std::uint8_t>(idLength >> 8));
    data.push_back(static_cast<std::uint8_t>(idLength));
    data.insert(data.end(), attested->credentialId->begin(), attested->credentialId->end());
    AppendCoseKey(*attested->publicKey, data);
  }
  if (extensions) {
    std::uint8_t buffer[16];
    CborWriter writer(buffer, sizeof buffer);
    writer.beginMap(1).putText("credProtect", 11).putInt(credProtectOutput);
    data.insert(data.end(), buffer, buffer + writer.length());
  }
  return data;
}

}  // namespace pinvale::vkey
