#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <set>
#include <string>

namespace Exiv2 {
class IptcData;
}

// The character set of an IPTC block's texts. IPTC text carries no encoding
// of its own: a block declares UTF-8 by its coded character set (ESC % G),
// and older programs wrote the system's code page without saying so: a
// Western one (Latin-1, Latin-9, Windows-1252), but also Windows-1251,
// Shift-JIS or GB2312. Other programs read a block in one set, so a block
// holds one: UTF-8 text put into a Latin-1 block showed "Fuzz title Ã©"
// everywhere else.
//
// A block in an undeclared set is Western only where its bytes leave no
// doubt; any other is of an unknown set, whose texts are kept byte for byte:
// read as Latin-1 and turned UTF-8, a Windows-1251 "Москва" became "Ìîñêâà".
// The three Western sets agree on ASCII and the accented letters À-ÿ and
// differ on a few signs (€, ’, ½...): a character they write differently
// goes in only where the block's own bytes settle which set it is. Bytes
// that settle an edit do not settle the block's other texts: Windows-1250,
// 1254 and 1257 put their letters on bytes Latin-1 reads as other accented
// letters ("Jiří" as "Jiøí"), so an undeclared block is never re-encoded.
class IptcCharacterSet {
public:
    enum class Kind {
        // Declared UTF-8, or every text is valid UTF-8 (plain ASCII included).
        Utf8,
        // Declared Latin-1, or undeclared with bytes that read the same in
        // every Western set.
        Latin1,
        // Undeclared, with Windows-1252's own signs (’ ” – — … € ™, and the
        // opening quotes beside them) standing as punctuation beside Latin
        // words, in texts that do not read as Japanese or Chinese names.
        Windows1252,
        // Undeclared Western text holding a sign on which Latin-1 and Latin-9
        // disagree (¤ or €, ½ or œ), which does not say which it is.
        Western,
        // Any other: the set the texts were written in is not known.
        Unknown,
    };
    // The set of a block as the file holds it.
    explicit IptcCharacterSet(const Exiv2::IptcData& asRead);
    Kind kind() const { return kind_; }

    // Whether the block's texts are shown as Latin-1 (a block read as UTF-8
    // where it is not would show them empty): it does not declare UTF-8 and
    // a text's bytes are not valid UTF-8.
    static bool showsAsLatin1(const Exiv2::IptcData& iptc);
    // A text of such a block as it is shown: read as Windows-1252 where the
    // block's bytes settle that set (’ rather than the control code U+0092),
    // else as Latin-1, with the replacement character U+FFFD for the bytes
    // 0x80 to 0x9F, where Latin-1 has control codes that no text holds.
    QString shown(const std::string& bytes) const;
    // Whether the bytes read as UTF-8 and as no other set's text. In a block
    // that does not declare UTF-8, a text other sets read too is UTF-8 only
    // on a guess: GBK's 一 (D2 BB) is UTF-8's "һ".
    static bool readsAsUtf8Alone(const std::string& bytes);

    // Before a write, settles the block on one set. The datasets of
    // `editedKeys` hold our texts, in UTF-8; the others the file's bytes. An
    // edited text goes in as the block's bytes where the block's set is
    // settled for each of its characters, or the character is one the
    // field's text already held; a text the file holds, given back as it was
    // shown (a keyword list), goes back as its bytes. Otherwise a block that
    // declares Latin-1 turns UTF-8 and says so. A block that does not
    // declare its set keeps the bytes of every text not edited, whatever its
    // bytes suggest, and turns UTF-8 only where every other text is plain
    // ASCII; one read as UTF-8 takes an edit as UTF-8 and says so only where
    // its other texts read so alone. A save that edits none of the block's
    // texts leaves it as it was, its declaration (or none) included.
    // Answers why the edit is refused (nothing changed then), or an empty
    // text.
    QString settle(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys) const;

private:
    // The character a byte of the block is shown as.
    char16_t shownCode(unsigned char byte) const;
    // The byte that stands for `code` in a text of the key the file holds.
    std::optional<char> heldByte(const std::string& key, char16_t code) const;
    // The block's bytes for an edited text of the key, where its set is
    // settled for each of the text's characters or the key's text held it.
    std::optional<std::string> encoded(const std::string& key, const std::string& utf8) const;
    // The file's bytes of the key's text that shows as `utf8`, if any.
    std::optional<std::string> fileTextShownAs(const std::string& key, const std::string& utf8) const;
    QString refusal(const QStringList& fields) const;
    // A block read as UTF-8 that does not say so declares it only where
    // this save writes a text that needs it and every text it keeps that is
    // not plain ASCII reads as UTF-8 alone: a block no edit changes keeps
    // its bytes, and a By-line GBK and UTF-8 read alike is not declared
    // either's on a guess.
    void declareUtf8WhereCertain(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys) const;

    Kind kind_ = Kind::Utf8;
    bool declared_ = false;
    // The file's texts that are not plain ASCII, by key. In a block not
    // read as UTF-8 they are shown read as Latin-1 (or Windows-1252); an
    // edit of a list (the keywords) gives them back so, and they go back as
    // the file's bytes.
    std::map<std::string, std::set<std::string>> asRead_;
};
