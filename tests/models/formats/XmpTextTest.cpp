// The rows and the save's check read a plain XMP property's text straight
// from the library's value. That text must be the one the library spells for
// the property, and a container (an array's or a structure's own entry, whose
// text names its kind) must never be taken for plain text.
#include "models/formats/XmpText.h"
#include "models/formats/ExivRuntime.h"

#include "support/ImageFixtures.h"

#include <QFile>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

namespace {

// How many properties were read as plain text; each is checked against the
// library's own text, and every other one is shown not to be plain text.
int checkEachProperty(const Exiv2::XmpData& xmpData, const std::string& where)
{
    int plain = 0;
    for (const Exiv2::Xmpdatum& datum : xmpData) {
        const std::string spelled = datum.toString();
        if (const std::string* text = XmpText::plainOf(datum)) {
            ++plain;
            EXPECT_EQ(*text, spelled) << where << ": " << datum.key();
        } else {
            EXPECT_TRUE(datum.typeId() != Exiv2::xmpText || spelled.rfind("type=\"", 0) == 0)
                << where << ": " << datum.key() << " is plain text but was not read as such: " << spelled;
        }
    }
    return plain;
}

} // namespace

TEST(XmpTextTest, PlainTextIsTheLibrarysOwnSpellingAndContainersAreNeverTakenForIt)
{
    ExivRuntime::initialize();
    for (const char* name : {"npm-nikon-d90-photometric.jpg", "gowebp-pentax.jpg", "npm-windows-xmp.jpg"}) {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(ImageFixtures::sample(name)).toStdString());
        ExivRuntime::readMetadata(*image);
        EXPECT_GT(checkEachProperty(image->xmpData(), name), 0) << name;
    }

    // Every kind of property side by side: plain text (with markup-like and
    // non-ASCII characters, empty, and one the library reads as the spelling
    // of a bag's kind), a bag, a sequence, a language
    // alternative, a structure with an empty bag inside, and an array of
    // structures.
    const std::string packet = R"(<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:xmp="http://ns.adobe.com/xap/1.0/"
 xmlns:Iptc4xmpCore="http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/" xmlns:xmpMM="http://ns.adobe.com/xap/1.0/mm/"
 xmlns:stEvt="http://ns.adobe.com/xap/1.0/sType/ResourceEvent#" xmp:Rating="3" xmp:Label="">
<xmp:CreatorTool>&lt;b&gt; "Zürich"</xmp:CreatorTool><xmp:Nickname>type="Bag" read by the library as a bag</xmp:Nickname>
<dc:subject><rdf:Bag><rdf:li>one</rdf:li><rdf:li>two</rdf:li></rdf:Bag></dc:subject>
<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li></rdf:Seq></dc:creator>
<dc:title><rdf:Alt><rdf:li xml:lang="x-default">Title</rdf:li><rdf:li xml:lang="de">Titel</rdf:li></rdf:Alt></dc:title>
<Iptc4xmpCore:CreatorContactInfo rdf:parseType="Resource"><Iptc4xmpCore:CiAdrCity>Bern</Iptc4xmpCore:CiAdrCity>
</Iptc4xmpCore:CreatorContactInfo>
<xmpMM:History><rdf:Seq><rdf:li rdf:parseType="Resource"><stEvt:action>saved</stEvt:action>
<stEvt:changed><rdf:Bag/></stEvt:changed></rdf:li></rdf:Seq></xmpMM:History>
</rdf:Description></rdf:RDF></x:xmpmeta>
<?xpacket end="w"?>)";
    Exiv2::XmpData made;
    {
        const auto lock = ExivRuntime::lockXmp();
        ASSERT_EQ(Exiv2::XmpParser::decode(made, packet), 0);
    }
    EXPECT_GE(checkEachProperty(made, "made packet"), 5);
    const auto plainText = [&made](const char* key) {
        const auto found = made.findKey(Exiv2::XmpKey(key));
        return found != made.end() && XmpText::plainOf(*found) != nullptr;
    };
    EXPECT_TRUE(plainText("Xmp.xmp.CreatorTool"));
    EXPECT_TRUE(plainText("Xmp.xmp.Label"));
    EXPECT_TRUE(plainText("Xmp.iptc.CreatorContactInfo/Iptc4xmpCore:CiAdrCity"));
    EXPECT_FALSE(plainText("Xmp.iptc.CreatorContactInfo"));
    EXPECT_FALSE(plainText("Xmp.xmpMM.History"));
    EXPECT_FALSE(plainText("Xmp.dc.subject"));
    EXPECT_FALSE(plainText("Xmp.dc.title"));
}
