#include "backoffice/ComInternetWindowPort.h"

namespace {
ComInternetWindowFactory& factory() {
    static ComInternetWindowFactory f;
    return f;
}
} // namespace

void setComInternetWindowFactory(ComInternetWindowFactory f) {
    factory() = std::move(f);
}

std::unique_ptr<ComInternetWindowPort> makeComInternetWindow(frmComInternet& cliente) {
    return factory() ? factory()(cliente) : nullptr;
}
