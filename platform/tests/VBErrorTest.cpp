// VBError: default texts and the error being handled.
#include "platform/VBError.h"
#include "platform/Program.h"
#include "testsupport/VBErrors.h"
#include <QCoreApplication>
#include <gtest/gtest.h>

using testenv::errorOf;
using namespace vb;

TEST(VBError, DefaultTextsAndCurrentError) {
    EXPECT_EQ(DefaultErrorText(13), "Type mismatch");
    EXPECT_EQ(DefaultErrorText(6), "Overflow");
    EXPECT_EQ(DefaultErrorText(9), "Subscript out of range");
    EXPECT_EQ(DefaultErrorText(91), "Object variable or With block variable not set");
    EXPECT_EQ(DefaultErrorText(457), "This key is already associated with an element of this collection");
    EXPECT_EQ(DefaultErrorText(3709), "The connection cannot be used to perform this operation. It is either "
                                      "closed or invalid in this context.");
    try {
        Raise(13);
    } catch (const VBError& e) {
        EXPECT_EQ(e.number(), 13);
        EXPECT_EQ(e.description(), "Type mismatch");
        EXPECT_NE(std::string(e.what()).find("Type mismatch"), std::string::npos);
    }
    try {
        throw std::runtime_error("boom");
    } catch (...) {
        const VBError e = CurrentError();
        EXPECT_EQ(e.number(), 5);
        EXPECT_EQ(e.description(), "boom");
    }
    try {
        throw std::bad_alloc();
    } catch (...) {
        EXPECT_EQ(CurrentError().number(), 7);
    }
    EXPECT_EQ(CurrentError().number(), 5); // outside a catch: no crash
}
