#include "vkey/credential_cose_key.h"

#include <mbedtls/ecp.h>

#include "cbor/cbor_writer.h"

namespace pinvale::vkey {

bool StoredCredentialCoseKey(const SecretBuffer<32>& privateKey, RandomSource& random,
                             std::vector<std::uint8_t>& cose) {
  mbedtls_ecp_group group;
  mbedtls_mpi d;
  mbedtls_ecp_point q;
  mbedtls_ecp_group_init(&group);
  mbedtls_mpi_init(&d);
  mbedtls_ecp_point_init(&q);
  // The random source only blinds the multiplication, so the scalar does not show in
  // its timing.
  std::uint8_t x[32];
  std::uint8_t y[32];
  const bool ok = mbedtls_ecp_group_load(&group, MBEDTLS_ECP_DP_SECP256R1) == 0 &&
                  mbedtls_mpi_read_binary(&d, privateKey.data(), privateKey.size()) == 0 &&
                  mbedtls_ecp_check_privkey(&group, &d) == 0 &&
                  mbedtls_ecp_mul(&group, &q, &d, &group.G, RandomSource::Callback, &random) == 0 &&
                  mbedtls_mpi_write_binary(&q.X, x, sizeof x) == 0 &&
                  mbedtls_mpi_write_binary(&q.Y, y, sizeof y) == 0;
  mbedtls_ecp_point_free(&q);
  mbedtls_mpi_free(&d);  // wipes the limbs
  mbedtls_ecp_group_free(&group);
  if (!ok) return false;

  std::uint8_t body[80];
  CborWriter writer(body, sizeof body);
  writer.beginMap(5).putInt(1).putInt(2).putInt(3).putInt(-7).putInt(-1).putInt(1);
  writer.putInt(-2).putBytes(x, sizeof x).putInt(-3).putBytes(y, sizeof y);
  cose.assign(body, body + writer.length());
  return true;
}

}  // namespace pinvale::vkey
