#pragma once
// The process of a test or benchmark binary: a QApplication on the offscreen platform (unless
// QT_QPA_PLATFORM names another), with the registry store and the program folder in a scratch
// directory that goes when the object does. Made first thing in main:
//
//     int main(int argc, char** argv) {
//         testenv::ProcesoPrueba proceso(argc, argv);
//         ...
//     }
#include <QTemporaryDir>
#include <memory>

class QApplication;

namespace testenv {

class ProcesoPrueba final {
public:
    ProcesoPrueba(int& argc, char** argv);
    ~ProcesoPrueba();
    ProcesoPrueba(const ProcesoPrueba&) = delete;
    ProcesoPrueba& operator=(const ProcesoPrueba&) = delete;

private:
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

} // namespace testenv
