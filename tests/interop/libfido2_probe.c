/* libfido2 against pinvale-vkey: a small command-line client that reaches the
 * virtual key's socket through fido_dev_set_io_functions, so libfido2's own
 * CTAPHID, getInfo, PIN and reset code runs unchanged.
 *
 * Usage: libfido2_probe SOCKET info | retries | set-pin NEW | change-pin OLD NEW
 *                              | verify-pin PIN | assert | assert-no-up | reset
 * Prints "result=<code>" (libfido2's code; CTAP statuses keep their numbers) and,
 * for info and retries, the values read. Exit 0 when the command ran, 2 when the
 * key could not be opened or the arguments are wrong.
 */

#include <errno.h>
#include <fido.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#define PACKET_SIZE 64

struct link {
  int fd;
  unsigned long sent;
  unsigned long received;
};

static struct link the_link = {-1, 0, 0};

static void* link_open(const char* path) {
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (strlen(path) >= sizeof address.sun_path) return NULL;
  strcpy(address.sun_path, path);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return NULL;
  if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0) {
    close(fd);
    return NULL;
  }
  the_link.fd = fd;
  return &the_link;
}

static void link_close(void* handle) {
  struct link* link = handle;
  close(link->fd);
  link->fd = -1;
}

/* libfido2 hands reports with the report id byte in front; the socket carries the
 * bare 64-byte packet. */
static int link_write(void* handle, const unsigned char* buf, size_t len) {
  struct link* link = handle;
  const unsigned char* packet = len == PACKET_SIZE + 1 ? buf + 1 : buf;
  size_t left = len == PACKET_SIZE + 1 ? PACKET_SIZE : len;
  while (left > 0) {
    ssize_t n = send(link->fd, packet, left, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    packet += n;
    left -= (size_t)n;
  }
  link->sent++;
  return (int)len;
}

static int link_read(void* handle, unsigned char* buf, size_t len, int ms) {
  struct link* link = handle;
  size_t have = 0;
  if (len < PACKET_SIZE) return -1;
  while (have < PACKET_SIZE) {
    struct pollfd pfd = {link->fd, POLLIN, 0};
    int ready = poll(&pfd, 1, ms < 0 ? -1 : ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return -1;
    ssize_t n = recv(link->fd, buf + have, PACKET_SIZE - have, 0);
    if (n <= 0) return -1;
    have += (size_t)n;
  }
  link->received++;
  return PACKET_SIZE;
}

static int print_info(fido_dev_t* dev) {
  fido_cbor_info_t* info = fido_cbor_info_new();
  int r = fido_dev_get_cbor_info(dev, info);
  printf("result=%d\n", r);
  if (r == FIDO_OK) {
    char** versions = fido_cbor_info_versions_ptr(info);
    for (size_t i = 0; i < fido_cbor_info_versions_len(info); i++)
      printf("version=%s\n", versions[i]);
    printf("aaguid-length=%zu\n", fido_cbor_info_aaguid_len(info));
    char** names = fido_cbor_info_options_name_ptr(info);
    const bool* values = fido_cbor_info_options_value_ptr(info);
    for (size_t i = 0; i < fido_cbor_info_options_len(info); i++) {
      printf("option %s=%s\n", names[i], values[i] ? "true" : "false");
    }
    printf("maxmsgsiz=%llu\n", (unsigned long long)fido_cbor_info_maxmsgsiz(info));
    const uint8_t* protocols = fido_cbor_info_protocols_ptr(info);
    for (size_t i = 0; i < fido_cbor_info_protocols_len(info); i++)
      printf("protocol=%u\n", protocols[i]);
    printf("minpinlen=%llu\n", (unsigned long long)fido_cbor_info_minpinlen(info));
    printf("new-pin-required=%s\n", fido_cbor_info_new_pin_required(info) ? "true" : "false");
  }
  fido_cbor_info_free(&info);
  return r;
}

/* libfido2 proves a PIN only on the way to another command: getAssertion with the
 * PIN runs getKeyAgreement and getPINToken first, then sends its pinAuth made with
 * the token. The virtual key has no credentials, so a right PIN ends in the
 * getAssertion's "no credentials" (0x2E), a wrong one in the getPINToken status.
 * Without a PIN (pin NULL) the getAssertion goes out alone; `up` false asks for it
 * without the user's touch. */
static int verify_pin(fido_dev_t* dev, const char* pin, fido_opt_t up) {
  static const unsigned char hash[32] = {1};
  fido_assert_t* assert = fido_assert_new();
  fido_assert_set_rp(assert, "pinvale.example");
  fido_assert_set_clientdata_hash(assert, hash, sizeof hash);
  fido_assert_set_up(assert, up);
  int r = fido_dev_get_assert(dev, assert, pin);
  fido_assert_free(&assert);
  printf("result=%d\n", r);
  return r;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s SOCKET COMMAND [ARGS]\n", argv[0]);
    return 2;
  }
  const char* command = argv[2];
  fido_init(0);
  fido_dev_t* dev = fido_dev_new();
  fido_dev_io_t io = {link_open, link_close, link_read, link_write};
  if (fido_dev_set_io_functions(dev, &io) != FIDO_OK || fido_dev_open(dev, argv[1]) != FIDO_OK) {
    fprintf(stderr, "cannot open %s\n", argv[1]);
    fido_dev_free(&dev);
    return 2;
  }
  int status = 0;
  if (strcmp(command, "info") == 0) {
    print_info(dev);
  } else if (strcmp(command, "retries") == 0) {
    int retries = -1;
    printf("result=%d\n", fido_dev_get_retry_count(dev, &retries));
    printf("retries=%d\n", retries);
  } else if (strcmp(command, "set-pin") == 0 && argc == 4) {
    printf("result=%d\n", fido_dev_set_pin(dev, argv[3], NULL));
  } else if (strcmp(command, "change-pin") == 0 && argc == 5) {
    printf("result=%d\n", fido_dev_set_pin(dev, argv[4], argv[3]));
  } else if (strcmp(command, "verify-pin") == 0 && argc == 4) {
    verify_pin(dev, argv[3], FIDO_OPT_OMIT);
  } else if (strcmp(command, "assert") == 0 && argc == 3) {
    verify_pin(dev, NULL, FIDO_OPT_OMIT);
  } else if (strcmp(command, "assert-no-up") == 0 && argc == 3) {
    verify_pin(dev, NULL, FIDO_OPT_FALSE);
  } else if (strcmp(command, "reset") == 0) {
    printf("result=%d\n", fido_dev_reset(dev));
  } else {
    fprintf(stderr, "unknown command %s\n", command);
    status = 2;
  }
  printf("reports sent=%lu received=%lu\n", the_link.sent, the_link.received);
  fido_dev_close(dev);
  fido_dev_free(&dev);
  return status;
}
