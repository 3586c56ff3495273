#pragma once

#include <QDateTime>
#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

namespace orvella {

// Signing in with a code on another device: the code the service gave and the
// address to type it at, both selectable, a button that copies the code, and
// Cancel. It closes itself when the sign-in ends; rejected means the user
// gave up, and the sign-in is to be stopped.
class DeviceCodeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DeviceCodeDialog(QWidget* parent = nullptr);

    // What the service answered; until then the dialog says it is asking.
    void showCode(const QString& userCode, const QUrl& verificationUri, const QDateTime& expiresAt,
                  const QString& message);
    QString code() const { return m_code; }

    // What the character says: the code letter by letter, so each one is heard.
    static QString SpokenText(const QString& userCode, const QUrl& verificationUri);

    void copyCode();

private:
    QString m_code;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblDeviceMessage = nullptr;
    QLabel* lblDeviceCode = nullptr;
    QLabel* lblDeviceAddress = nullptr;
    QLabel* lblDeviceExpiry = nullptr;
    QPushButton* cmdCopyCode = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace orvella
