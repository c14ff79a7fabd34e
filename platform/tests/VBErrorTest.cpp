// VBError: default texts and the error being handled.
#include "platform/VBError.h"
#include "platform/Program.h"
#include <gtest/gtest.h>

using namespace vb;

TEST(VBError, RaiseFillsTheTextAndCurrentErrorMapsWhatWasThrown) {
    struct Caso {
        std::function<void()> lanza;
        int numero;
        const char* texto;
    };
    const Caso casos[] = {
        {[] { Raise(err::TypeMismatch); }, err::TypeMismatch, "Type mismatch"},
        {[] { Raise(99999); }, 99999, "Application-defined or object-defined error"},
        {[] { throw std::runtime_error("boom"); }, err::InvalidCall, "boom"},
        {[] { throw std::bad_alloc(); }, err::OutOfMemory, "Out of memory"},
        {[] { throw 42; }, err::InvalidCall, "Invalid procedure call or argument"},
    };
    for (const Caso& c : casos) {
        try {
            c.lanza();
        } catch (...) {
            const VBError e = CurrentError();
            EXPECT_EQ(e.number(), c.numero) << c.texto;
            EXPECT_EQ(e.description(), c.texto);
            EXPECT_NE(std::string(e.what()).find(c.texto), std::string::npos);
        }
    }
    EXPECT_EQ(CurrentError().number(), vb::err::InvalidCall); // outside a catch: no crash
    // Ending the program is not an error: it passes through.
    try {
        throw program::Ended{2};
    } catch (...) {
        EXPECT_THROW(CurrentError(), program::Ended);
    }
}
