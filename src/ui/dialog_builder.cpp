#include "ui/dialog_builder.h"

#include <pugixml.hpp>

#include <vector>

#include "ui/container.h"
#include "ui/edit.h"
#include "ui/label.h"
#include "ui/list.h"
#include "ui/paint_manager.h"
#include "ui/progress.h"
#include "ui/ui_text.h"

namespace pinvale::ui {
namespace {

std::u16string U16(const char* utf8) {
  return Utf8ToUtf16(utf8 ? utf8 : "");
}

class Builder {
 public:
  Builder(IDialogBuilderCallback* callback, CPaintManagerUI* manager)
      : m_callback(callback), m_manager(manager) {}

  std::unique_ptr<CControlUI> Build(const pugi::xml_node& node) {
    const std::u16string className = U16(node.name());
    std::unique_ptr<CControlUI> control = CreateBuiltinControl(className);
    if (!control && m_callback) control = m_callback->CreateControl(className);
    if (!control) return nullptr;  // unknown elements are skipped with their subtree

    if (m_manager) {
      const std::u16string defaults = m_manager->GetDefaultAttributeList(className);
      if (!defaults.empty()) control->ApplyAttributeList(defaults);
    }
    for (const pugi::xml_attribute& attr : node.attributes()) {
      control->SetAttribute(U16(attr.name()), U16(attr.value()));
    }
    if (auto* container = dynamic_cast<CContainerUI*>(control.get())) {
      for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        if (auto built = Build(child)) container->Add(std::move(built));
      }
    }
    return control;
  }

  void ApplyWindow(const pugi::xml_node& window) {
    if (!m_manager) return;
    for (const pugi::xml_attribute& attr : window.attributes()) {
      m_manager->SetWindowAttribute(U16(attr.name()), U16(attr.value()));
    }
  }

  void AddFont(const pugi::xml_node& font) {
    if (!m_manager) return;
    m_manager->AddFont(U16(font.attribute("name").value()), font.attribute("size").as_int(12),
                       ParseBool(U16(font.attribute("bold").value())),
                       ParseBool(U16(font.attribute("italic").value())),
                       ParseBool(U16(font.attribute("underline").value())),
                       ParseBool(U16(font.attribute("default").value())));
  }

  void AddDefault(const pugi::xml_node& def) {
    if (!m_manager) return;
    m_manager->AddDefaultAttributeList(U16(def.attribute("name").value()),
                                       U16(def.attribute("value").value()));
  }

 private:
  IDialogBuilderCallback* m_callback;
  CPaintManagerUI* m_manager;
};

}  // namespace

std::unique_ptr<CControlUI> CreateBuiltinControl(std::u16string_view name) {
  if (name == u"Control") return std::make_unique<CControlUI>();
  if (name == u"Container") return std::make_unique<CContainerUI>();
  if (name == u"VerticalLayout") return std::make_unique<CVerticalLayoutUI>();
  if (name == u"HorizontalLayout") return std::make_unique<CHorizontalLayoutUI>();
  if (name == u"TabLayout") return std::make_unique<CTabLayoutUI>();
  if (name == u"ListContainerElement") return std::make_unique<CListContainerElementUI>();
  if (name == u"Label") return std::make_unique<CLabelUI>();
  if (name == u"Text") return std::make_unique<CTextUI>();
  if (name == u"Button") return std::make_unique<CButtonUI>();
  if (name == u"Edit") return std::make_unique<CEditUI>();
  if (name == u"List") return std::make_unique<CListUI>();
  if (name == u"Progress") return std::make_unique<CProgressUI>();
  return nullptr;
}

std::unique_ptr<CControlUI> CDialogBuilder::Create(std::u16string_view layout,
                                                   IDialogBuilderCallback* callback,
                                                   CPaintManagerUI* manager, CControlUI* parent) {
  std::vector<std::uint8_t> bytes;
  if (!CPaintManagerUI::LoadResource(layout, bytes)) {
    m_error = "layout not found: " + Utf16ToUtf8(layout);
    return nullptr;
  }
  return CreateFromXml(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       callback, manager, parent);
}

std::unique_ptr<CControlUI> CDialogBuilder::CreateFromXml(std::string_view xml,
                                                          IDialogBuilderCallback* callback,
                                                          CPaintManagerUI* manager,
                                                          CControlUI* parent) {
  pugi::xml_document doc;
  // pugixml skips a UTF-8 byte-order mark with encoding_utf8.
  const pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    m_error = std::string("layout is not valid XML: ") + parsed.description();
    return nullptr;
  }
  pugi::xml_node root = doc.document_element();
  if (!root) {
    m_error = "layout is empty";
    return nullptr;
  }
  Builder builder(callback, manager);
  std::unique_ptr<CControlUI> result;
  if (std::string_view(root.name()) == "Window") {
    builder.ApplyWindow(root);
    for (const pugi::xml_node& child : root.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string_view name = child.name();
      if (name == "Font") {
        builder.AddFont(child);
      } else if (name == "Default") {
        builder.AddDefault(child);
      } else if (name == "Image" || name == "Style") {
        // preloading hints; images load on first use
      } else if (!result) {
        result = builder.Build(child);
      }
    }
  } else {
    result = builder.Build(root);
  }
  if (!result) {
    m_error = "layout holds no control";
    return nullptr;
  }
  if (parent) {
    result->SetManager(manager, parent);
  }
  return result;
}

}  // namespace pinvale::ui
