#pragma once

// Builds control trees from layout XML (pugixml). The Window element's geometry, Font and
// Default entries go to the paint manager; every other element becomes a control, with its
// class's default attributes first and then its own attributes in document order.

#include <memory>
#include <span>
#include <string_view>

#include "ui/control.h"

namespace pinvale::ui {

class CPaintManagerUI;

// Lets a window supply controls for element names the framework does not know.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual std::unique_ptr<CControlUI> CreateControl(std::u16string_view className) = 0;
};

class CDialogBuilder {
 public:
  // Reads `layout` through CPaintManagerUI::LoadResource (the archive) and builds it. With a
  // manager, Window/Font/Default are applied to it. Returns nullptr when the file is missing
  // or not valid XML.
  std::unique_ptr<CControlUI> Create(std::u16string_view layout,
                                     IDialogBuilderCallback* callback = nullptr,
                                     CPaintManagerUI* manager = nullptr,
                                     CControlUI* parent = nullptr);
  // The same from XML text in memory (UTF-8, a byte-order mark allowed).
  std::unique_ptr<CControlUI> CreateFromXml(std::string_view xml,
                                            IDialogBuilderCallback* callback = nullptr,
                                            CPaintManagerUI* manager = nullptr,
                                            CControlUI* parent = nullptr);
  // The error of the last failed build, for diagnostics.
  const std::string& GetLastError() const { return m_error; }

 private:
  std::string m_error;
};

// The framework's controls by element name; nullptr for unknown names.
std::unique_ptr<CControlUI> CreateBuiltinControl(std::u16string_view className);

}  // namespace pinvale::ui
