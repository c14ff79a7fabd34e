#include "platform/Collections.h"
#include "testsupport/VBErrors.h"
#include <gtest/gtest.h>

using namespace vb;
using testenv::errorOf;

TEST(Collections, OrderCaseAndReadingAMissingKeyAddsIt) {
    Dictionary d;
    d.Add("b", 1);
    d.Add("a", 2);
    d.Add("B", 3); // exact keys: another key
    EXPECT_EQ(d.Keys(), QStringList({"b", "a", "B"}));
    EXPECT_EQ(errorOf([&] { d.Add("a", 9); }), vb::err::KeyAlreadyInCollection);
    EXPECT_TRUE(IsEmpty(d.value("zz")));
    EXPECT_FALSE(d.Exists("zz"));
    EXPECT_TRUE(IsEmpty(d.item("zz")));
    EXPECT_TRUE(d.Exists("zz"));
    d.set("a", 20);
    EXPECT_EQ(d.Keys()[1], "a");
    EXPECT_EQ(d.at(1).toInt(), 20);
    d.Remove("b");
    EXPECT_EQ(d.Keys(), QStringList({"a", "B", "zz"}));
    EXPECT_EQ(d.value("B").toInt(), 3); // positions stay right after a removal
    EXPECT_EQ(errorOf([&] { d.Remove("b"); }), vb::err::DictionaryRemoveFailed);
    d.RemoveAll();
    EXPECT_FALSE(d.Exists("a"));
}

// Small dictionaries are scanned and big ones indexed: look-ups must not notice the switch, nor the
// index growing, nor removals.
TEST(Collections, LookUpsStayRightAcrossTheIndexThreshold) {
    Dictionary d;
    for (int i = 0; i < 200; ++i) {
        d.Add(QString("k%1").arg(i), i);
        for (int j = 0; j <= i; ++j)
            ASSERT_EQ(d.value(QString("k%1").arg(j)).toInt(), j) << "after " << i;
        ASSERT_EQ(errorOf([&] { d.Add(QString("k%1").arg(i), 0); }), vb::err::KeyAlreadyInCollection);
    }
    for (int i = 0; i < 170; ++i)
        d.Remove(QString("k%1").arg(i));
    EXPECT_EQ(d.Count(), 30);
    EXPECT_FALSE(d.Exists("k3"));
    EXPECT_EQ(d.value("k175").toInt(), 175);
    d.Add("k3", 3);
    EXPECT_EQ(d.Keys().last(), "k3");
    EXPECT_EQ(d.value("k199").toInt(), 199);
}

TEST(Collections, ListsAreOneBasedAndOutOfRangeIsError9) {
    Collection c;
    coleccionGenerica g;
    auto b = std::make_shared<entidadGenerica>();
    c.Add(QString("x"));
    c.Add(2);
    g.Add(std::make_shared<entidadGenerica>());
    g.Add(b);
    EXPECT_EQ(c.Item(1).toString(), "x");
    EXPECT_EQ(g.Item(2), b);
    for (int i : {0, 3}) {
        EXPECT_EQ(errorOf([&] { c.Item(i); }), vb::err::SubscriptOutOfRange) << i;
        EXPECT_EQ(errorOf([&] { g.Item(i); }), vb::err::SubscriptOutOfRange) << i;
    }
    c.Remove(1);
    g.Remove(1);
    EXPECT_EQ(c.Item(1).toInt(), 2);
    EXPECT_EQ(g.Item(1), b);
    EXPECT_EQ(errorOf([&] { c.Remove(2); }), vb::err::SubscriptOutOfRange);
    const Variant v = FromObject(std::make_shared<coleccionGenerica>());
    EXPECT_TRUE(As<coleccionGenerica>(v));
    EXPECT_FALSE(As<Dictionary>(v));
}

TEST(Collections, NamesIgnoreCaseKeepSpellingAndPlace) {
    entidadGenerica e;
    e.Propiedad("Accion", QString("imprimir"));
    e.Propiedad("tpv", 3);
    e.setValor("ACCION", QString("ping"));
    EXPECT_EQ(e.Count(), 2);
    EXPECT_EQ(e.NombreItem(1), "Accion");
    EXPECT_EQ(e.Item(1).toString(), "ping");
    EXPECT_EQ(e.Valor("accion").toString(), "ping");
    EXPECT_EQ(e.Valor("nada").toString(), "#ERROR#");
    EXPECT_TRUE(e.Existe("TPV"));
    EXPECT_EQ(errorOf([&] { e.Item(3); }), vb::err::SubscriptOutOfRange);

    // The dictionary is shared, not copied.
    auto dic = e.Diccionario();
    dic->Add("extra", true);
    EXPECT_EQ(e.Count(), 3);
    e.setDiccionario(nullptr);
    EXPECT_EQ(errorOf([&] { e.Valor("tpv"); }), vb::err::ObjectNotSet);
}
