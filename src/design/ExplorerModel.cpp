// Skeleton: filled in by the explorer work that follows.
#include "design/ExplorerModel.h"

namespace orvik::design {

std::vector<ExplorerNode> BuildExplorerTree(const CReport&) {
    return {};
}
std::string RootCaption(ExplorerRoot) {
    return {};
}
ExplorerMenuTexts MenuTexts(ExplorerRoot, bool) {
    return {};
}
COvInfoObject* NewItem(CReport&, ExplorerRoot) {
    return nullptr;
}
COvInfoAct* NewChildItem(CReport&, COvInfoAct&) {
    return nullptr;
}
bool DeleteItem(CReport&, COvInfoObject&) {
    return false;
}
bool RunTaskNamed(CReport&, const std::string&) {
    return false;
}

}  // namespace orvik::design
