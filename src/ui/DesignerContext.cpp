#include "ui/DesignerContext.h"

#include "core/LanguageTexts.h"
#include "model/AppContext.h"

namespace orvik::ui {
namespace {
AppContext* designerContext = nullptr;
}

AppContext* DesignerContext() {
    return designerContext;
}

void SetDesignerContext(AppContext* context) {
    designerContext = context;
}

std::string UiText(int id) {
    return designerContext ? designerContext->Language().GetText(id)
                           : BuiltinLanguage().GetText(id);
}

}  // namespace orvik::ui
