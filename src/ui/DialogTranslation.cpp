#include "ui/DialogTranslation.h"

#include <wx/dialog.h>

#include "core/LanguageTexts.h"
#include "model/AppContext.h"
#include "ui/DesignerContext.h"

namespace orvik::ui {
namespace {

class WxDialogTexts : public CTranslatableDialog {
  public:
    explicit WxDialogTexts(wxDialog& dialog) : dialog_(dialog) {}
    void SetCaption(const std::string& text) override {
        dialog_.SetTitle(wxString::FromUTF8(text.c_str()));
    }
    std::string ControlText(int id) const override {
        const wxWindow* control = dialog_.FindWindow(id);
        return control ? control->GetLabel().utf8_string() : std::string();
    }
    void SetControlText(int id, const std::string& text) override {
        if (wxWindow* control = dialog_.FindWindow(id))
            control->SetLabel(wxString::FromUTF8(text.c_str()));
    }

  private:
    wxDialog& dialog_;
};

}  // namespace

void TranslateWindow(wxDialog& dialog, std::string_view key) {
    AppContext* context = DesignerContext();
    if (!context) return;
    WxDialogTexts texts(dialog);
    context->Language().TranslateDialog(texts, key);
}

}  // namespace orvik::ui
