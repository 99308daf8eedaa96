// The add page of the Fingerprints window: EnrollBegin, then one CaptureNextSample per
// sample the key still wants, each off the UI thread with the window's input live, so a
// Cancel reaches the key at its next keepalive. A cancelled or failed enrolment is dropped
// on the key (CancelCurrentEnrollment) before the list comes back.

#include <algorithm>
#include <cctype>

#include "ctap/management_request.h"
#include "dialogs/device_absent.h"
#include "dialogs/fingerprints_texts.h"
#include "dialogs/fingerprints_wnd.h"
#include "dialogs/message_box.h"
#include "dialogs/text_fill.h"

namespace pinvale {
namespace {

constexpr int kFingerprintStoreFull = 0x17;
constexpr int kKeepaliveCancel = 0x2D;
constexpr int kUserActionTimeout = 0x2F;
constexpr int kPinAuthBlocked = 0x34;
constexpr int kUvBlocked = 0x3C;
// A sample that felt no finger, told as a status of its own.
constexpr int kNoFingerFelt = 0x10000;
// No key asks for more samples than this; one that keeps asking is stopped.
constexpr std::uint32_t kMaxSampleAttempts = 64;

// A status the key sent, rather than a failed exchange or an answer not understood.
bool KeyStatus(int status) {
  return status > 0 && status < kManagementAnswerNotUnderstood;
}

// "place your finger a little lower" -> "Place your finger a little lower."
std::u16string Direction(std::uint8_t status) {
  std::string text(SampleStatusAdvice(status));
  if (text.empty()) return {};
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (text.back() != '.') text.push_back('.');
  return ui::Utf8ToUtf16(text);
}

}  // namespace

void CFingerprintsWnd::ResetAddPage(std::uint32_t expected) {
  samplesDone_ = 0;
  samplesTotal_ = std::max<std::uint32_t>(expected, 1);
  SetTextOf(Find(u"label_cue"), kTouchSensorText);
  SetTextOf(Find(u"label_advice"), u"");
  SetTextOf(Find(u"btn_enrol_cancel"), kCancelText);
  if (ui::CControlUI* cancel = Find(u"btn_enrol_cancel")) cancel->SetEnabled(true);
  if (auto* progress = dynamic_cast<ui::CProgressUI*>(Find(u"progress_samples"))) {
    progress->SetMaxValue(static_cast<int>(samplesTotal_));
    progress->SetValue(0);
    progress->SetText(FillText(kSamplesFormat, {DecimalText(0), DecimalText(samplesTotal_)}));
  }
}

bool CFingerprintsWnd::ShowSample(const EnrollmentProgress& progress) {
  if (progress.lastSampleStatus == kSampleNoUserActivity) return false;
  const std::uint32_t remaining = progress.remainingSamples.value_or(0);
  const bool good = progress.lastSampleStatus == kSampleGood;
  if (good) ++samplesDone_;
  // Only a good sample counts down: the total is what is done and what is left.
  samplesTotal_ = std::max(samplesTotal_, samplesDone_ + remaining);
  SetTextOf(Find(u"label_cue"), good && remaining > 0 ? kTouchAgainText : kTouchSensorText);
  SetTextOf(Find(u"label_advice"), good ? std::u16string() : Direction(progress.lastSampleStatus));
  if (auto* bar = dynamic_cast<ui::CProgressUI*>(Find(u"progress_samples"))) {
    bar->SetMaxValue(static_cast<int>(samplesTotal_));
    bar->SetValue(static_cast<int>(samplesDone_));
    bar->SetText(FillText(kSamplesFormat, {DecimalText(samplesDone_), DecimalText(samplesTotal_)}));
  }
  return true;
}

void CFingerprintsWnd::RequestEnrolCancel() {
  if (!capturing_ || cancelRequested_) return;
  cancelRequested_ = true;
  SetTextOf(Find(u"label_cue"), kCancellingText);
  if (ui::CControlUI* cancel = Find(u"btn_enrol_cancel")) cancel->SetEnabled(false);
  // Lock-free: the exchange under way sends CTAPHID_CANCEL at the key's next keepalive.
  if (access_) access_->device.RequestCancel();
}

void CFingerprintsWnd::Enrol() {
  if (!access_ || capturing_ || CurrentPage() != kListPage) return;
  cancelRequested_ = false;
  closeAfterCapture_ = false;
  ResetAddPage(sensor_.maxCaptureSamples.value_or(0));
  ShowPage(kAddPage);

  BioEnrollment bio = Bio();
  EnrollmentProgress progress;
  capturing_ = true;
  int status = RunSessionCommand(
      [&](const PinUvToken& token) { return bio.EnrollBegin(token, {}, progress); },
      ui::OffUiInput::kLive);
  const std::vector<std::uint8_t> templateId = progress.templateId;
  if (status == 0) {
    // The first answer tells how many samples are left after it.
    samplesTotal_ = std::max(samplesTotal_, progress.remainingSamples.value_or(0) + 1);
  }
  for (std::uint32_t attempts = 1; status == 0 && WindowAlive(); ++attempts) {
    if (!ShowSample(progress)) {
      status = kNoFingerFelt;
      break;
    }
    if (progress.remainingSamples.value_or(0) == 0) break;  // enrolled
    if (cancelRequested_) {
      status = kKeepaliveCancel;
      break;
    }
    if (attempts >= kMaxSampleAttempts) {
      status = kManagementAnswerNotUnderstood;
      break;
    }
    status = RunSessionCommand(
        [&](const PinUvToken& token) {
          return bio.CaptureNextSample(token, templateId, {}, progress);
        },
        ui::OffUiInput::kLive);
  }
  capturing_ = false;
  if (!WindowAlive()) return;  // pulled out: the key drops an enrolment it has not finished
  if (status != 0) {
    EndUnfinishedEnrolment(status);
    return;
  }
  if (closeAfterCapture_) {
    // The last sample came in as the window was closed: the fingerprint is whole, and
    // keeps the key's own name.
    Close(1);
    return;
  }
  ShowNamePage(templateId, std::u16string(kNameNewTitle), true);
}

void CFingerprintsWnd::EndUnfinishedEnrolment(int status) {
  const bool cancelled = status == kKeepaliveCancel || cancelRequested_;
  if (!KeyStatus(status) && status != kNoFingerFelt && DeviceAbsent.load()) {
    Close(0);
    return;
  }
  // The key keeps the template it started until it is told to drop it.
  BioEnrollment bio = Bio();
  RunExchange([&] { return bio.CancelCurrentEnrollment(); });
  if (!WindowAlive()) return;
  cancelRequested_ = false;
  if (closeAfterCapture_) {
    Close(1);
    return;
  }
  ShowPage(kListPage);
  if (!cancelled) {
    std::u16string text;
    if (status == kFingerprintStoreFull) {
      text = kStoreFullText;
    } else if (status == kUserActionTimeout || status == kNoFingerFelt) {
      text = kNoFingerText;
    } else if (status == kUvBlocked || status == kPinAuthBlocked) {
      text = kSensorBlockedText;
    } else if (status == kManagementAnswerNotUnderstood) {
      text = kEnrolUnfinishedText;
    }
    if (text.empty()) {
      ShowFailure(status, kEnrolFailedFormat);
    } else {
      ShowMessageBox(GetHWND(), kFingerprintsBoxCaption, text, kMessageBoxIconError);
    }
    if (!WindowAlive()) return;
  }
  ReadList();
}

}  // namespace pinvale
