#pragma once

// The Fingerprints window ("Fingerprints.xml"): the key's enrolled fingerprints by name, Add
// (samples, directions after a bad sample, Cancel, a name), Rename and Delete.
//
// Three pages of one TabLayout: the list, the add page (the finger picture, the cue, the
// samples so far) and the name page, shared by a new fingerprint and a rename. While the
// key waits for a finger the window keeps taking input, so Cancel (and Escape, and the
// close button) stop the capture at the key's next keepalive; its other buttons are hidden
// with their page meanwhile.

#include <cstdint>
#include <string>
#include <vector>

#include "ctap/bio_enrollment.h"
#include "dialogs/management_wnd_base.h"

namespace pinvale {

class CFingerprintsWnd : public CManagementWndBase {
 public:
  enum Page { kListPage = 0, kAddPage = 1, kNamePage = 2 };

  CFingerprintsWnd(std::u16string layout, CFidoToken* device,
                   std::unique_ptr<ManagementAccess> access);
  ~CFingerprintsWnd() override;

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void Notify(ui::TNotifyUI& msg) override;

  int CurrentPage() const;
  const std::vector<FingerprintEnrollment>& Enrollments() const { return list_; }
  const FingerprintSensorInfo& SensorInfo() const { return sensor_; }
  bool Capturing() const { return capturing_; }
  // True once the list was read (or failed to be) after the window was shown.
  bool ListRead() const { return listRead_; }

  // The name a row shows: the key's name made printable, or "Fingerprint N" (its place in
  // the list, from 1) for one the key keeps without a name.
  static std::u16string ShownName(const FingerprintEnrollment& enrollment, std::size_t index);
  // What the name page says under the edit for `name`, and whether it may be saved.
  static std::u16string NameCountText(std::u16string_view name, std::uint32_t limit,
                                      bool& acceptable);

 protected:
  void OnWindowShown() override;
  bool OnEnterKey() override;
  bool OnEscapeKey() override;

 private:
  BioEnrollment Bio() const;
  void ShowPage(Page page);
  ui::CControlUI* Find(std::u16string_view name);
  // Reads the list again and shows it; false when the key refused (told to the user).
  bool ReadList();
  // Selects the row of `templateId`, if the list holds it.
  void SelectTemplate(const std::vector<std::uint8_t>& templateId);
  void ShowList();
  void UpdateListButtons();
  void ConfirmDelete();
  // The name page for `templateId`: `fresh` after an enrolment (Cancel reads "Skip").
  // `current`: the name the edit starts with (selected, so typing replaces it).
  void ShowNamePage(const std::vector<std::uint8_t>& templateId, std::u16string title, bool fresh,
                    std::u16string current = {});
  void UpdateNameCount();
  void SaveName();
  void BackToList();
  // Tells the user what a refused command means; the window may be gone afterwards.
  void ShowFailure(int status, std::u16string_view format);

  // The add page (fingerprint_enrol_page.cpp).
  void Enrol();
  void RequestEnrolCancel();
  void ResetAddPage(std::uint32_t expected);
  // Shows the outcome of one sample; false for a sample that felt no finger.
  bool ShowSample(const EnrollmentProgress& progress);
  // Ends an enrolment that did not finish: the key drops the template, the user is told.
  void EndUnfinishedEnrolment(int status);

  FingerprintSensorInfo sensor_;
  std::vector<FingerprintEnrollment> list_;
  // The name page's fingerprint.
  std::vector<std::uint8_t> namingId_;
  bool namingFresh_ = false;
  // The add page: a capture waits off the UI thread; Cancel was pressed; the window closes
  // once the capture has ended.
  bool capturing_ = false;
  bool cancelRequested_ = false;
  bool closeAfterCapture_ = false;
  std::uint32_t samplesDone_ = 0;
  std::uint32_t samplesTotal_ = 0;
  bool listRead_ = false;
};

}  // namespace pinvale
