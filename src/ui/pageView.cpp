// The page view's file address, made on the program's side of the module boundary.
#include "ui/pageView.h"

#include "outputs/textHelpers.h"

namespace vantle {

void TpageView::NavigateToFile(const std::string& path) {
    NavigateToAddress(fileUrl(path));
}

} // namespace vantle
