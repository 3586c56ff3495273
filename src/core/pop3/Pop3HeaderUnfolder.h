#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace orvella::pop3 {

// Turns the header lines of a message into unfolded fields (RFC 5322 2.2.3):
// a line starting with a blank or tab continues the field before it; unfolding
// removes only the line break, so the blank stays and "Subject: a\r\n b" reads
// "a b". The value loses the blanks after the colon and at its end.
class Pop3HeaderUnfolder
{
public:
    struct Field
    {
        QByteArray name;
        QByteArray value;
    };

    enum class Result {
        Pending,  // the line started or continued a field; fields before it may be complete
        NotAField // the line is no header line: the header block ends before it
    };

    // Feeds one header line (not the empty line that ends the block). A field
    // completed by this line is handed out by takeField().
    Result add(const QByteArray& line);
    // The field completed by the last add(), or by finish().
    std::optional<Field> takeField();
    // The header block ended: completes the last field.
    void finish();
    void clear();

    // A field line has a name of printable characters but the colon (the
    // obsolete form "Subject : x" with blanks before the colon is accepted).
    static bool isFieldLine(QByteArrayView line);

private:
    std::optional<Field> m_pending;
    std::optional<Field> m_done;
};

} // namespace orvella::pop3
