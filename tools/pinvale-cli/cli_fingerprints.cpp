#include "cli_fingerprints.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>

#include "cli_management.h"
#include "ctap/bio_enrollment.h"
#include "ctap/pin_request.h"

namespace pinvale::cli {

namespace {

constexpr int kKeepaliveCancel = 0x2D;
constexpr int kUserActionTimeout = 0x2F;
constexpr int kFingerprintStoreFull = 0x17;

// Ctrl-C during an enrolment: the handler only sets flags (lock-free atomics),
// the exchange under way sends CTAPHID_CANCEL at the key's next keepalive.
std::atomic<bool> interrupted{false};
std::atomic<CFidoToken*> cancelTarget{nullptr};

extern "C" void OnInterrupt(int) {
  interrupted.store(true);
  if (CFidoToken* token = cancelTarget.load()) token->RequestCancel();
}

// Ctrl-C handled for as long as it lives; the previous handling comes back after.
class InterruptCatch {
 public:
  explicit InterruptCatch(CFidoToken& token) {
    interrupted.store(false);
    cancelTarget.store(&token);
    previous_ = std::signal(SIGINT, OnInterrupt);
  }
  ~InterruptCatch() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    cancelTarget.store(nullptr);
  }
  InterruptCatch(const InterruptCatch&) = delete;
  InterruptCatch& operator=(const InterruptCatch&) = delete;

 private:
  void (*previous_)(int) = SIG_DFL;
};

struct Fingerprint {
  Console& console;
  const Options& options;
  Key& key;
  KeySetup& setup;
  BioEnrollment bio;
  ManagementSession& session;
};

// Keys answer an unnamed fingerprint with no name or with an empty one.
std::string ShownName(const FingerprintEnrollment& enrollment) {
  if (!enrollment.friendlyName || enrollment.friendlyName->empty()) return "(no name)";
  return PrintableText(*enrollment.friendlyName);
}

// An ID as the list shows it (the template id in hex), in any case.
bool ParseTemplateId(const std::string& text, std::vector<std::uint8_t>& id) {
  id.clear();
  if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > kMaxTemplateIdSize) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &value) != 1 ||
        !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      return false;
    }
    id.push_back(static_cast<std::uint8_t>(value));
  }
  return true;
}

// The key's limit on names, in UTF-8 bytes, from its sensor information.
bool NameFits(Fingerprint& f, const std::string& name, int& exitCode) {
  if (!IsUtf8Text(name)) {
    f.console.Err("The name is not valid UTF-8 text.\n");
    exitCode = kExitInputRefused;
    return false;
  }
  FingerprintSensorInfo info;
  const int status = f.bio.GetSensorInfo(info);
  if (status != 0) {
    exitCode = ReportManagementFailure(f.console, f.key, f.setup, "Reading the sensor", status);
    return false;
  }
  if (name.size() > info.FriendlyNameLimit()) {
    f.console.Err(
        Format("The name is %u bytes long; this key takes names of at most %u bytes "
               "(in UTF-8).\n",
               static_cast<unsigned>(name.size()), info.FriendlyNameLimit()));
    exitCode = kExitInputRefused;
    return false;
  }
  return true;
}

int Enumerate(Fingerprint& f, std::vector<FingerprintEnrollment>& list) {
  return f.session.Run(
      [&](const PinUvToken& token) { return f.bio.EnumerateEnrollments(token, list); });
}

// The enrolment the ID names; false with the outcome reported.
bool FindEnrollment(Fingerprint& f, const std::string& idText, FingerprintEnrollment& found,
                    int& exitCode) {
  std::vector<std::uint8_t> id;
  if (!ParseTemplateId(idText, id)) {
    std::string message = "\"";
    message.append(PrintableText(idText));
    message.append("\" is not a fingerprint ID; fingerprints list shows them.\n");
    f.console.Err(message);
    exitCode = kExitInputRefused;
    return false;
  }
  std::vector<FingerprintEnrollment> list;
  if (int status = Enumerate(f, list); status != 0) {
    exitCode =
        ReportManagementFailure(f.console, f.key, f.setup, "Listing the fingerprints", status);
    return false;
  }
  for (FingerprintEnrollment& enrollment : list) {
    if (enrollment.templateId == id) {
      found = std::move(enrollment);
      return true;
    }
  }
  f.console.Err("The key holds no fingerprint with ID " + HexText(id) + ".\n");
  exitCode = kExitInputRefused;
  return false;
}

int List(Fingerprint& f) {
  std::vector<FingerprintEnrollment> list;
  if (int status = Enumerate(f, list); status != 0) {
    return ReportManagementFailure(f.console, f.key, f.setup, "Listing the fingerprints", status);
  }
  if (list.empty()) {
    f.console.Out("No fingerprints enrolled.\n");
    return kExitOk;
  }
  for (const FingerprintEnrollment& enrollment : list) {
    f.console.Out(HexText(enrollment.templateId) + "  " + ShownName(enrollment) + "\n");
  }
  return kExitOk;
}

// The capture was ended by Ctrl-C: the key is told to drop the template.
int Cancelled(Fingerprint& f) {
  interrupted.store(false);
  f.bio.CancelCurrentEnrollment();
  f.console.Err("Enrollment cancelled; nothing was added.\n");
  return kExitInputRefused;
}

// The sensor waited for a finger and none came, whether the key says so with a
// status or with a sample that felt nothing: the enrolment ends there rather than
// asking an absent user again and again.
int SensorTimedOut(Fingerprint& f, const std::string& reason) {
  f.bio.CancelCurrentEnrollment();
  f.console.Err("No finger touched the sensor in time (" + reason +
                "); nothing was added. Run fingerprints add again and touch the sensor when "
                "asked.\n");
  return kExitKeyRefused;
}

// A pull-out part-way: the key drops an enrolment it has not finished, but the
// last sample may have finished it before the key went.
int PulledOutDuringCapture(Fingerprint& f, bool lastSample) {
  std::string message(kPulledOutText);
  message += lastSample
                 ? " Plug it in again; fingerprints list tells whether the fingerprint was added.\n"
                 : " The enrollment was not finished: no fingerprint was added.\n";
  f.console.Err(message);
  return kExitNoKey;
}

int CaptureFailed(Fingerprint& f, int status, bool lastSample) {
  if (status == kKeepaliveCancel || interrupted.load()) return Cancelled(f);
  if (f.key.Checked(status) == kPulledOut) return PulledOutDuringCapture(f, lastSample);
  if (status == kUserActionTimeout) return SensorTimedOut(f, "status " + StatusText(status));
  f.bio.CancelCurrentEnrollment();
  if (status == kFingerprintStoreFull) {
    f.console.Err("The key has no room for another fingerprint (status " + StatusText(status) +
                  "); nothing was added. Delete one with fingerprints delete ID, then enroll "
                  "again.\n");
    return kExitKeyRefused;
  }
  return ReportManagementFailure(f.console, f.key, f.setup, "Enrolling the fingerprint", status);
}

void ReportSample(Fingerprint& f, const EnrollmentProgress& progress, std::uint32_t& done,
                  std::uint32_t& total) {
  // A sample that felt nothing is the sensor's time-out, told on its own.
  if (progress.lastSampleStatus == kSampleNoUserActivity) return;
  const std::uint32_t remaining = progress.remainingSamples.value_or(0);
  const bool good = progress.lastSampleStatus == kSampleGood;
  if (good) ++done;
  // Only a good sample counts down: the total is what is done and what is left.
  total = std::max(total, done + remaining);
  const std::uint32_t attempt = good ? done : done + 1;
  std::string line = Format("Sample %u of %u: ", attempt, total);
  line += good ? std::string("good.")
               : std::string(SampleStatusAdvice(progress.lastSampleStatus)) + ".";
  if (remaining > 0) {
    line +=
        Format(" %u sample%s left; touch the sensor again.", remaining, remaining == 1 ? "" : "s");
  }
  f.console.Out(line + "\n");
}

// No key asks for more samples than this; one that keeps asking is stopped.
constexpr std::uint32_t kMaxSampleAttempts = 64;

int Add(Fingerprint& f) {
  InterruptCatch catcher(f.key.token);
  f.console.Out("Touch the sensor with the finger to enroll.\n");
  EnrollmentProgress progress;
  int status = f.session.Run(
      [&](const PinUvToken& token) { return f.bio.EnrollBegin(token, {}, progress); });
  if (status != 0) return CaptureFailed(f, status, false);
  const std::vector<std::uint8_t> templateId = progress.templateId;
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  ReportSample(f, progress, done, total);
  for (std::uint32_t attempts = 1; progress.remainingSamples.value_or(0) > 0; ++attempts) {
    if (progress.lastSampleStatus == kSampleNoUserActivity) {
      return SensorTimedOut(f, "sample status " + StatusText(kSampleNoUserActivity));
    }
    if (interrupted.load()) return Cancelled(f);
    if (attempts >= kMaxSampleAttempts) {
      f.bio.CancelCurrentEnrollment();
      f.console.Err("The key did not finish the enrollment; nothing was added.\n");
      return kExitExchangeFailed;
    }
    const bool lastSample = progress.remainingSamples.value_or(0) == 1;
    status = f.session.Run([&](const PinUvToken& token) {
      return f.bio.CaptureNextSample(token, templateId, {}, progress);
    });
    if (status != 0) return CaptureFailed(f, status, lastSample);
    ReportSample(f, progress, done, total);
  }
  const std::string id = HexText(templateId);
  if (f.options.name) {
    status = f.session.Run([&](const PinUvToken& token) {
      return f.bio.SetFriendlyName(token, templateId, *f.options.name);
    });
    if (status != 0) {
      f.console.Out("Fingerprint enrolled: " + id + "\n");
      return ReportManagementFailure(f.console, f.key, f.setup, "Naming the fingerprint", status);
    }
    f.console.Out("Fingerprint enrolled: " + id + "  " + PrintableText(*f.options.name) + "\n");
    return kExitOk;
  }
  f.console.Out("Fingerprint enrolled: " + id + "\n");
  return kExitOk;
}

int Rename(Fingerprint& f) {
  FingerprintEnrollment found;
  int exitCode = kExitOk;
  if (!FindEnrollment(f, f.options.operands[0], found, exitCode)) return exitCode;
  const std::string& name = f.options.operands[1];
  const int status = f.session.Run([&](const PinUvToken& token) {
    return f.bio.SetFriendlyName(token, found.templateId, name);
  });
  if (status != 0) {
    return ReportManagementFailure(f.console, f.key, f.setup, "Renaming the fingerprint", status);
  }
  f.console.Out("Fingerprint " + HexText(found.templateId) + " renamed to " + PrintableText(name) +
                ".\n");
  return kExitOk;
}

int Delete(Fingerprint& f) {
  FingerprintEnrollment found;
  int exitCode = kExitOk;
  if (!FindEnrollment(f, f.options.operands[0], found, exitCode)) return exitCode;
  const std::string id = HexText(found.templateId);
  if (!ConfirmDelete(f.console, f.options,
                     "Delete fingerprint " + id + " (" + ShownName(found) + ") from the key?",
                     exitCode)) {
    return exitCode;
  }
  const int status = f.session.Run(
      [&](const PinUvToken& token) { return f.bio.RemoveEnrollment(token, found.templateId); });
  if (status != 0) {
    return ReportManagementFailure(f.console, f.key, f.setup, "Deleting the fingerprint", status);
  }
  f.console.Out("Fingerprint " + id + " deleted.\n");
  return kExitOk;
}

}  // namespace

int Fingerprints(Console& console, const Options& options, Key& key) {
  KeySetup setup;
  int exitCode = kExitOk;
  if (!PrepareKey(console, options, key, setup, exitCode)) return exitCode;
  const std::uint8_t command = BioEnrollmentCommandFor(setup.info);
  if (command == 0) {
    console.Err(OnlyCtap20(setup.info)
                    ? "This key speaks only CTAP 2.0, which has no fingerprint enrollment; "
                      "pinvale-cli cannot manage fingerprints on it.\n"
                    : "This key has no fingerprint sensor that pinvale-cli can manage.\n");
    return kExitKeyRefused;
  }
  if (!CheckPinBeforeManagement(console, key, setup, "Fingerprints", exitCode)) return exitCode;
  ManagementSession session(key.token, setup.info, *setup.protocol, kPermissionBioEnrollment);
  Fingerprint f{console, options, key, setup, BioEnrollment(key.token, command), session};
  // A name the key would refuse is refused before the PIN is asked for.
  const std::string* name = options.action == Action::kRename ? &options.operands[1]
                            : options.name                    ? &*options.name
                                                              : nullptr;
  if (name != nullptr && !NameFits(f, *name, exitCode)) return exitCode;
  if (!OpenManagementSession(console, options, key, setup, session, exitCode)) return exitCode;
  switch (options.action) {
    case Action::kList:
      return List(f);
    case Action::kAdd:
      return Add(f);
    case Action::kRename:
      return Rename(f);
    case Action::kDelete:
      return Delete(f);
    case Action::kUpdate:
    case Action::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace pinvale::cli
