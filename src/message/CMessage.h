#pragma once

#include <QString>
#include <functional>

namespace orvella {

// One downloaded message. Stored as a file of five quoted records in the
// program folder's "msg" folder, named by its time stamp.
class CMessage
{
public:
    QString m_ID;
    QString m_Content; // lines ended by CR LF
    QString m_Subject;
    QString m_FullFrom;
    QString m_FullTo;
    QString m_TimeStamp;
    QString m_ContentTransferEncoding; // lower case
    bool m_IsMultiPart = false;
    qint32 m_MesssageIdx = 0;

    // The display name of the sender (the text before "<", unquoted), or the whole From.
    QString From() const;
    // The sender as the windows and the speech name it: the display name,
    // else the address, else "unknown sender" (a message without a From).
    QString Sender() const;
    // text as a display name: a quoted string without its quotes and escapes.
    static QString DisplayName(const QString& text);
    // The address between "<" and ">", or the whole From.
    QString EMailAddress() const;
    static QString Unquote(const QString& text);
    static QString ReplaceQuotes(const QString& text);

    // A new, unused time stamp: 14 digits yyyyMMddhhmmss, then the seconds
    // since midnight with hundredths.
    void MakeTimeStamp();
    // The message's file: the one it was loaded from or last saved to, else
    // the one its time stamp names.
    QString Path() const;
    // Gives the message a new time stamp and writes its file. beforeWrite
    // hears the stamp (the file's name) before the file is written, and again
    // when a file of that name already exists and another stamp is tried;
    // when it returns false nothing is written and Save fails. A failure
    // leaves no file behind; error, when given, receives the system's reason
    // (a reason beforeWrite gave is left as it put it).
    bool Save(const std::function<bool(const QString& stamp)>& beforeWrite = {}, QString* error = nullptr);
    // The five records as the file holds them.
    QByteArray fileContents() const;
    // Reads the five records of path. False, with the record unchanged, when
    // the file cannot be read or is not a message file.
    bool Load(const QString& path);
    void Delete() const;
    bool IsQuotedPrintable() const;

    // The message folder: AppPath + "/msg".
    static QString MessageFolder();

    bool operator==(const CMessage&) const = default;

private:
    QString m_filePath;
};

} // namespace orvella
