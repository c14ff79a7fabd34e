#include "SocketWindowPort.h"

namespace {
SocketWindowFactory& factory() {
    static SocketWindowFactory f;
    return f;
}
} // namespace

void setSocketWindowFactory(SocketWindowFactory f) {
    factory() = std::move(f);
}

std::unique_ptr<SocketWindowPort> makeSocketWindow() {
    return factory() ? factory()() : nullptr;
}
