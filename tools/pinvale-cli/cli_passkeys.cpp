#include "cli_passkeys.h"

#include <algorithm>
#include <cctype>

#include "cli_management.h"
#include "ctap/credential_management.h"
#include "ctap/pin_request.h"

namespace pinvale::cli {

namespace {

// The list shows this many hex digits of a credential id; the other commands
// take any prefix of at least kMinIdDigits that names one passkey, or the whole id.
constexpr std::size_t kShownIdDigits = 16;
constexpr std::size_t kMinIdDigits = 4;

struct ListedPasskey {
  RelyingPartyEntry rp;
  PasskeyEntry passkey;
};

struct Passkey {
  Console& console;
  const Options& options;
  Key& key;
  KeySetup& setup;
  CredentialManagement cm;
  ManagementSession& session;
};

std::string Site(const RelyingPartyEntry& rp) {
  if (!rp.id.empty()) return PrintableText(rp.id);
  return "(site " + HexText(std::span(rp.idHash).first(8)) + "…)";
}

std::string Shown(const std::optional<std::string>& text) {
  return text ? PrintableText(*text) : "-";
}

// Every passkey on the key, site by site; `complete` false when the key
// stopped a walk before the count it gave.
int ListAll(Passkey& p, std::vector<ListedPasskey>& all, bool& complete) {
  all.clear();
  complete = true;
  std::vector<RelyingPartyEntry> rps;
  bool rpsComplete = true;
  int status = p.session.Run([&](const PinUvToken& token) {
    return p.cm.EnumerateRelyingParties(token, rps, rpsComplete);
  });
  if (status != 0) return status;
  complete = rpsComplete;
  for (const RelyingPartyEntry& rp : rps) {
    std::vector<PasskeyEntry> passkeys;
    bool passkeysComplete = true;
    status = p.session.Run([&](const PinUvToken& token) {
      return p.cm.EnumerateCredentials(token, rp.idHash, passkeys, passkeysComplete);
    });
    if (status != 0) return status;
    complete = complete && passkeysComplete;
    for (PasskeyEntry& passkey : passkeys) all.push_back({rp, std::move(passkey)});
  }
  // Keys list in their storage order, which moves as passkeys come and go: the list
  // is sorted by site, then user name, so it reads the same from one run to the next.
  std::stable_sort(all.begin(), all.end(), [](const ListedPasskey& a, const ListedPasskey& b) {
    if (a.rp.id != b.rp.id) return a.rp.id < b.rp.id;
    return a.passkey.user.name.value_or("") < b.passkey.user.name.value_or("");
  });
  return 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The passkey an ID names; false with the outcome reported.
bool FindPasskey(Passkey& p, ListedPasskey& found, int& exitCode) {
  const std::string wanted = Lower(p.options.operands[0]);
  exitCode = kExitInputRefused;
  if (wanted.size() < kMinIdDigits ||
      !std::all_of(wanted.begin(), wanted.end(), [](char c) { return std::isxdigit(c & 0xFF); })) {
    std::string message = "\"";
    message.append(PrintableText(p.options.operands[0]));
    message.append("\" is not a passkey ID; passkeys list shows them (at least 4 hex digits).\n");
    p.console.Err(message);
    return false;
  }
  std::vector<ListedPasskey> all;
  bool complete = true;
  if (int status = ListAll(p, all, complete); status != 0) {
    exitCode = ReportManagementFailure(p.console, p.key, p.setup, "Listing the passkeys", status);
    return false;
  }
  int matches = 0;
  for (ListedPasskey& entry : all) {
    const std::string id = HexText(entry.passkey.credentialId);
    if (id.compare(0, wanted.size(), wanted) == 0) {
      if (++matches == 1) found = entry;
      if (id == wanted) {  // the whole id wins over prefixes of longer ones
        found = entry;
        matches = 1;
        break;
      }
    }
  }
  if (matches == 1) return true;
  p.console.Err(matches == 0 ? "The key holds no passkey with ID " + wanted + ".\n"
                             : "ID " + wanted + " names " + std::to_string(matches) +
                                   " passkeys; give more of it.\n");
  return false;
}

int List(Passkey& p) {
  std::vector<ListedPasskey> all;
  bool complete = true;
  if (int status = ListAll(p, all, complete); status != 0) {
    return ReportManagementFailure(p.console, p.key, p.setup, "Listing the passkeys", status);
  }
  if (all.empty()) p.console.Out("No passkeys on the key.\n");
  for (const ListedPasskey& entry : all) {
    const std::string id = HexText(entry.passkey.credentialId);
    p.console.Out(id.substr(0, kShownIdDigits) + "  " + Site(entry.rp) + "  " +
                  Shown(entry.passkey.user.name) + "  " + Shown(entry.passkey.user.displayName) +
                  "\n");
  }
  if (!complete) p.console.Err("Note: the key stopped before listing all its passkeys.\n");
  CredentialSlots slots;
  const int status =
      p.session.Run([&](const PinUvToken& token) { return p.cm.GetCredsMetadata(token, slots); });
  if (status == 0 && slots.remaining) {
    const std::uint32_t used = slots.existing.value_or(static_cast<std::uint32_t>(all.size()));
    p.console.Out(Format("%u used, %u free.\n", used, *slots.remaining));
  } else if (p.setup.info.remainingDiscoverableCredentials) {
    p.console.Out(Format("%u used, %u free.\n", static_cast<unsigned>(all.size()),
                         *p.setup.info.remainingDiscoverableCredentials));
  }
  return kExitOk;
}

std::string Describe(const ListedPasskey& entry) {
  return "the passkey of " + Shown(entry.passkey.user.name) + " for " + Site(entry.rp);
}

int Delete(Passkey& p) {
  ListedPasskey found;
  int exitCode = kExitOk;
  if (!FindPasskey(p, found, exitCode)) return exitCode;
  if (!ConfirmDelete(p.console, p.options, "Delete " + Describe(found) + " from the key?",
                     exitCode)) {
    return exitCode;
  }
  int status = p.session.Run(
      [&](const PinUvToken& token) { return p.cm.DeleteCredential(token, found.passkey); });
  if (status != 0) {
    return ReportManagementFailure(p.console, p.key, p.setup, "Deleting the passkey", status);
  }
  // Some keys say success to a delete they could not do: the list tells.
  std::vector<ListedPasskey> after;
  bool complete = true;
  status = ListAll(p, after, complete);
  const bool stillThere =
      status == 0 && std::any_of(after.begin(), after.end(), [&](const ListedPasskey& entry) {
        return entry.passkey.credentialId == found.passkey.credentialId;
      });
  if (stillThere) {
    p.console.Err("The key said it deleted " + Describe(found) + ", but still lists it.\n");
    return kExitKeyRefused;
  }
  p.console.Out("Deleted " + Describe(found) + ".\n");
  return kExitOk;
}

int Update(Passkey& p) {
  for (const auto* text : {&p.options.name, &p.options.displayName}) {
    if (*text && !IsUtf8Text(**text)) {
      p.console.Err("The name is not valid UTF-8 text.\n");
      return kExitInputRefused;
    }
  }
  ListedPasskey found;
  int exitCode = kExitOk;
  if (!FindPasskey(p, found, exitCode)) return exitCode;
  PasskeyUser user = found.passkey.user;
  if (p.options.name) user.name = *p.options.name;
  if (p.options.displayName) user.displayName = *p.options.displayName;
  const int status = p.session.Run([&](const PinUvToken& token) {
    return p.cm.UpdateUserInformation(token, found.passkey, user);
  });
  if (status != 0) {
    return ReportManagementFailure(p.console, p.key, p.setup, "Updating the passkey", status);
  }
  p.console.Out("Updated the passkey for " + Site(found.rp) + ": " + Shown(user.name) + ", " +
                Shown(user.displayName) + ".\n");
  return kExitOk;
}

}  // namespace

int Passkeys(Console& console, const Options& options, Key& key) {
  KeySetup setup;
  int exitCode = kExitOk;
  if (!PrepareKey(console, options, key, setup, exitCode)) return exitCode;
  const std::uint8_t command = CredentialManagementCommandFor(setup.info);
  if (command == 0) {
    console.Err(OnlyCtap20(setup.info)
                    ? "This key speaks only CTAP 2.0, which has no passkey management; "
                      "pinvale-cli cannot list or change its passkeys.\n"
                    : "This key does not let pinvale-cli manage its passkeys.\n");
    return kExitKeyRefused;
  }
  if (options.action == Action::kUpdate && !CanUpdateUserInformation(command)) {
    console.Err(
        "This key cannot change a passkey's names (it speaks only the draft form of "
        "passkey management).\n");
    return kExitKeyRefused;
  }
  if (!CheckPinBeforeManagement(console, key, setup, "Passkeys", exitCode)) return exitCode;
  ManagementSession session(key.token, setup.info, *setup.protocol,
                            kPermissionCredentialManagement);
  if (!OpenManagementSession(console, options, key, setup, session, exitCode)) return exitCode;
  Passkey p{console, options, key, setup, CredentialManagement(key.token, command), session};
  switch (options.action) {
    case Action::kList:
      return List(p);
    case Action::kDelete:
      return Delete(p);
    case Action::kUpdate:
      return Update(p);
    case Action::kAdd:
    case Action::kRename:
    case Action::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace pinvale::cli
