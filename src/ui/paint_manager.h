#pragma once

// One per window: owns the control tree, the font table, default attributes and images,
// routes input to controls, sends notifications, lays out and paints.
//
// Process-wide set-up (start-up calls these once): SetInstance, SetResourcePath,
// SetResourceZip. Layouts and images are then read from the loaded archive.

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/control.h"
#include "ui/notify.h"
#include "ui/render.h"
#include "ui/scale_factor.h"
#include "ui/text_markup.h"
#include "ui/win_types.h"

namespace pinvale::ui {

class ScaledTarget;
class SkinArchive;

struct TFontInfo {
  std::u16string sFontName;
  int iSize = 12;
  bool bBold = false;
  bool bItalic = false;
  bool bUnderline = false;
  int tmHeight = 0;  // text-metrics height, filled once the font is open
};

class CPaintManagerUI : private ITextMeasurer {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI() override;
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // ---- process-wide resources (UI thread) ----
  static void SetInstance(void* instance);
  static void* GetInstance();
  // The directory of the executable, with a trailing '/'.
  static std::u16string GetInstancePath();
  static void SetResourcePath(std::u16string_view path);
  static std::u16string GetResourcePath();
  // Names the skin archive: read from the resource path unless a program resource
  // provides it (a window of kind UILIB_ZIPRESOURCE loads that). No caching is done either way.
  static void SetResourceZip(std::u16string_view zipName, bool cachePackage = false);
  // Uses an archive held in memory (the bytes must stay alive). False when not a ZIP.
  static bool SetResourceZip(std::span<const std::uint8_t> zipBytes);
  static std::u16string GetResourceZip();
  // Reads an entry of the loaded archive, or else a file under the resource path.
  static bool LoadResource(std::u16string_view entry, std::vector<std::uint8_t>& out);
  // Forgets the archive and paths (tests).
  static void ResetResources();

  // ---- window ----
  void Init(HWND hwnd);
  HWND GetPaintWindow() const { return m_hwnd; }
  SIZE GetInitSize() const { return m_initSize; }
  void SetInitSize(int width, int height);
  SIZE GetMinInfo() const { return m_minInfo; }
  void SetMinInfo(int width, int height) { m_minInfo = {width, height}; }
  SIZE GetMaxInfo() const { return m_maxInfo; }
  void SetMaxInfo(int width, int height) { m_maxInfo = {width, height}; }
  RECT GetCaptionRect() const { return m_caption; }
  void SetCaptionRect(RECT caption) { m_caption = caption; }
  RECT GetSizeBox() const { return m_sizeBox; }
  void SetSizeBox(RECT box) { m_sizeBox = box; }
  // The window's display scale. Everything the manager and its controls hold (sizes,
  // positions, fonts, the caption, mouse points) is in 96-DPI units; only Paint's target has
  // real pixels. A new scale opens the fonts and images again and lays out again.
  ScaleFactor GetScale() const { return m_scale; }
  void SetScale(ScaleFactor scale);
  // Client size the last layout used, in units.
  SIZE GetClientSize() const { return m_clientSize; }
  void SetClientSize(SIZE size);
  // Applies one attribute of the Window element.
  void SetWindowAttribute(std::u16string_view name, std::u16string_view value);

  // ---- controls ----
  // Takes the root of the control tree and attaches every control to this manager.
  bool AttachDialog(std::unique_ptr<CControlUI> root);
  CControlUI* GetRoot() const { return m_root.get(); }
  CControlUI* FindControl(std::u16string_view name) const;
  template <class T>
  T* FindControlAs(std::u16string_view name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
  CControlUI* FindControl(POINT pt) const;
  CControlUI* FindSubControlByName(CControlUI* parent, std::u16string_view name) const;
  // Called by controls that attach or detach (hot/focus bookkeeping).
  void ReapControl(CControlUI* control);

  // ---- fonts ----
  // Adds an entry to the font table; returns its index. The first default entry becomes the
  // default font.
  int AddFont(std::u16string_view name, int size, bool bold, bool italic, bool underline,
              bool isDefault = false);
  void SetDefaultFont(std::u16string_view name, int size, bool bold, bool italic, bool underline);
  int GetFontCount() const { return static_cast<int>(m_fonts.size()); }
  // Font `index` (-1 or out of range: the default font); nullptr without a graphics backend.
  IFont* GetFont(int index);
  // Font info of `index` with its tmHeight filled in.
  const TFontInfo* GetFontInfo(int index);
  // Extent of one line of text with font `index` (the window's paint device's measuring).
  SIZE MeasureText(int index, std::u16string_view text);
  // Measures for layout: the real fonts unless a test installed its own measurer.
  ITextMeasurer& Measurer();
  void SetTextMeasurer(ITextMeasurer* measurer) {
    m_testMeasurer = measurer;
    ForgetMeasures();
  }
  // The layout of a control's text made during the current pass in a box of `size` at the
  // origin, or null. A container asks a label for its size several times per pass, and the
  // label is placed and drawn in a box of the same size; the layouts are dropped with the
  // word widths, and when the control's text or style changes.
  const TextLayout* PassLayout(const CControlUI* control, SIZE size) const;
  const TextLayout& KeepPassLayout(const CControlUI* control, SIZE size, TextLayout layout);
  void ForgetPassLayout(const CControlUI* control) { m_passLayouts.erase(control); }
  IFont* FontForStyle(const TextStyle& style);

  // ---- default attributes per control class ----
  void AddDefaultAttributeList(std::u16string_view controlClass, std::u16string_view list);
  std::u16string GetDefaultAttributeList(std::u16string_view controlClass) const;

  // ---- images ----
  // Decoded image of an archive entry, cached per (entry, mask); nullptr when missing.
  std::shared_ptr<IImage> GetImage(std::u16string_view entry, std::optional<DWORD> mask = {});

  // ---- focus, hot, capture ----
  CControlUI* GetFocus() const { return m_focus; }
  void SetFocus(CControlUI* control);
  // Moves the focus to the next (or previous) focusable, visible, enabled control.
  bool SetNextTabControl(bool forward = true);
  CControlUI* GetHot() const { return m_hot; }
  // Ends the hover at once: the hot control gets its mouse-leave and the tooltip goes, shown
  // or still waiting. The window drops it when it is disabled (a modal window covers it).
  void DropHover();
  // Called by a control that is hidden or disabled: it is hot no longer.
  void StopHovering(CControlUI* control);
  void SetCapture(CControlUI* control);
  CControlUI* GetCapture() const { return m_capture; }

  // ---- notifications and filters ----
  void AddNotifier(INotifyUI* notifier);
  void RemoveNotifier(INotifyUI* notifier);
  void SendNotify(CControlUI* sender, std::u16string_view type, WPARAM wParam = 0,
                  LPARAM lParam = 0);
  void AddPreMessageFilter(IMessageFilterUI* filter);
  void RemovePreMessageFilter(IMessageFilterUI* filter);
  // Offers a queued or input message to the filters; true when one handled it.
  bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  // Input for the controls: mouse, keys, characters, focus. True when consumed.
  bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

  // ---- layout and painting ----
  void NeedUpdate();  // layout again before the next paint
  void Invalidate();  // paint again
  bool IsUpdateNeeded() const { return m_updateNeeded; }
  bool IsInvalid() const { return m_invalid; }
  // Lays out the tree in the current client size; the first layout sends "windowinit".
  void DoLayout();
  // Lays out when needed and draws the whole window into `target`, whose pixels are the
  // client size at the window's scale.
  void Paint(IRenderTarget& target);
  // The target of the last paint (measuring device), or nullptr.
  IRenderTarget* GetPaintDC() const { return m_paintDC; }

  // Tooltip under the mouse after a short hover; the message loop drives the timing.
  const std::u16string& GetToolTipText() const { return m_tooltipText; }
  bool IsToolTipShown() const { return m_tooltipShown; }
  bool HoverTimerDue(std::uint64_t nowMs);
  std::uint64_t HoverDeadline() const { return m_hoverDeadline; }

  // True when a press at pt should drag the window: inside the caption band and not on a
  // control that takes clicks (buttons, edits, links).
  bool IsCaptionHit(POINT pt) const;

 private:
  int FontHeight(const TextStyle& style) override;
  int TextWidth(const TextStyle& style, std::u16string_view text) override;
  void SetHot(CControlUI* control, POINT pt);
  // The control under pt that may be hot: visible, taking the mouse, enabled.
  CControlUI* HoverTarget(POINT pt) const;
  void HideToolTip();
  void PaintUnits(IRenderTarget& target);
  void PaintToolTip(IRenderTarget& target);

  struct FontEntry {
    TFontInfo info;
    bool isDefault = false;
    std::shared_ptr<IFont> font;
  };
  // A font of the table (or the default font) in one of its eight styles; remembered also
  // when it could not be opened.
  struct StyleFont {
    bool known = false;
    std::shared_ptr<IFont> font;
  };

  HWND m_hwnd = nullptr;
  ScaleFactor m_scale;
  std::unique_ptr<ScaledTarget> m_scaledTarget;
  std::unique_ptr<CControlUI> m_root;
  SIZE m_initSize{};
  SIZE m_minInfo{};
  SIZE m_maxInfo{};
  RECT m_caption{};
  RECT m_sizeBox{};
  SIZE m_clientSize{};
  std::vector<FontEntry> m_fonts;
  FontEntry m_defaultFont;
  // By (table index + 1) * 8 + style bits: every word laid out asks for its font.
  std::vector<StyleFont> m_styleFonts;
  // Widths of the words measured during one layout or paint pass, by font: a pass lays
  // different labels' texts out word by word, and the same words recur. Emptied, with the
  // layouts kept, when a pass starts and ends, so no frame sees another's fonts and the
  // window holds nothing for them between frames, and whenever the fonts or the measurer
  // change.
  struct WordHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view word) const noexcept {
      return std::hash<std::u16string_view>{}(word);
    }
  };
  using WordWidths = std::unordered_map<std::u16string, int, WordHash, std::equal_to<>>;
  std::unordered_map<const IFont*, WordWidths> m_passWidths;
  struct KeptLayout {
    SIZE size;
    TextLayout layout;
  };
  std::unordered_map<const CControlUI*, KeptLayout> m_passLayouts;
  // Sets the root's place at the client size; the caller starts and ends the pass.
  void LayOutRoot();
  void ForgetMeasures() {
    m_passWidths.clear();
    m_passLayouts.clear();
  }
  std::map<std::u16string, std::u16string, std::less<>> m_defaultAttributes;
  std::map<std::pair<std::u16string, DWORD>, std::shared_ptr<IImage>> m_images;
  ITextMeasurer* m_testMeasurer = nullptr;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_preFilters;
  CControlUI* m_focus = nullptr;
  CControlUI* m_hot = nullptr;
  CControlUI* m_capture = nullptr;
  CControlUI* m_pressed = nullptr;
  bool m_updateNeeded = true;
  bool m_invalid = true;
  bool m_firstLayout = true;
  IRenderTarget* m_paintDC = nullptr;
  POINT m_lastMouse{};
  std::u16string m_tooltipText;
  bool m_tooltipShown = false;
  std::uint64_t m_hoverDeadline = 0;
  // Counts changes of the hover, so that a handler that ran a nested loop (a click that
  // opened a dialog) is noticed: the point of its click is stale once it returns.
  std::uint64_t m_hoverChanges = 0;
};

}  // namespace pinvale::ui
