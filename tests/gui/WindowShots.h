#pragma once

// Pictures of a window for looking at, in the style as it is and in a dark
// one, and the check that none of its controls is cut off by its edge.
// Pictures are saved only with ORVELLA_SCREENSHOT_DIR set; run with
// QT_SCALE_FACTOR=2 for the "-2x" ones.

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <functional>

namespace orvella::test {

// A dark palette as a user's dark desktop theme gives one.
inline QPalette darkPalette()
{
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 30), text(230, 230, 230), disabled(128, 128, 128);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(110, 170, 255));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::PlaceholderText, disabled);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

// Every button, label and text area the window shows lies inside it.
inline void verifyInside(QWidget* window)
{
    const QRect area = window->rect();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                             qobject_cast<QAbstractScrollArea*>(w);
        if (!control || !w->isVisible() || w->objectName().startsWith(QStringLiteral("qt_"))) continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        QVERIFY2(area.contains(r), qPrintable(w->objectName()));
    }
}

// Runs take once as the style is and once under Fusion with a dark palette,
// as a dark desktop theme sets them before any window opens; take builds its
// window afresh and hears the suffix for the picture's name ("" or "-dark",
// then "-2x" at a device pixel ratio above 1).
inline void forEachTheme(const std::function<void(const QString& suffix)>& take)
{
    const QString scale = qApp->devicePixelRatio() > 1 ? QStringLiteral("-2x") : QString();
    take(scale);
    const QString styleName = QApplication::style()->name();
    const QPalette palette = QApplication::palette();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
    take(QStringLiteral("-dark") + scale);
    QApplication::setStyle(QStyleFactory::create(styleName));
    QApplication::setPalette(palette);
}

// Saves what window shows as <name>.png in ORVELLA_SCREENSHOT_DIR.
inline void saveScreenshot(QWidget* window, const QString& name)
{
    const QString dir = qEnvironmentVariable("ORVELLA_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    QCoreApplication::processEvents();
    QVERIFY(window->grab().save(dir + u'/' + name + QStringLiteral(".png")));
}

} // namespace orvella::test
