#include "ScaleWindowsPort.h"

namespace {
ReweighWindowFactory& factory() {
    static ReweighWindowFactory f;
    return f;
}
NumericKeypad& keypad() {
    static NumericKeypad k;
    return k;
}
} // namespace

void setReweighWindowFactory(ReweighWindowFactory f) {
    factory() = std::move(f);
}

std::unique_ptr<ReweighWindowPort> makeReweighWindow(clsComm& comm) {
    return factory() ? factory()(comm) : nullptr;
}

void setNumericKeypad(NumericKeypad k) {
    keypad() = std::move(k);
}

bool askNumber(const QString& descripcion, QString& valor) {
    return keypad() && keypad()(descripcion, valor);
}
