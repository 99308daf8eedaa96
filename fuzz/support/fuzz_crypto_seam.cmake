# Links the deterministic elliptic-curve stand-in of fuzz_crypto_seam.cpp into a fuzz
# target: the program's own references to these mbedTLS functions go to the stand-in.
function(pinvale_fuzz_crypto_seam target)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/fuzz_crypto_seam.cpp)
  target_link_libraries(${target} PRIVATE Pinvale::mbedcrypto)
  target_link_options(${target} PRIVATE
    -Wl,--wrap=mbedtls_ecp_gen_keypair
    -Wl,--wrap=mbedtls_ecdh_gen_public
    -Wl,--wrap=mbedtls_ecdh_compute_shared
    -Wl,--wrap=mbedtls_ecdsa_write_signature
    -Wl,--wrap=mbedtls_entropy_init
    -Wl,--wrap=mbedtls_entropy_free
    -Wl,--wrap=mbedtls_ctr_drbg_seed
    -Wl,--wrap=mbedtls_ctr_drbg_random)
endfunction()
