// The window on an X server, where the browser draws through OpenGL: adding the map does not
// make the window anew (no flash, the same window id).

#include <QGuiApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QWebEngineView>

#include "WindowTest.h"

using namespace windowtest;

class X11Test : public QObject {
    Q_OBJECT

private slots:
    void theMapJoinsTheWindowWithoutMakingItAnew() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (run under xvfb-run with QT_QPA_PLATFORM=xcb)");
        ConfigHome home;
        auto form = newWindow();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const WId id = form->winId();
        QTRY_VERIFY_WITH_TIMEOUT(form->WebBrowser1 != nullptr, 10000);
        form->PageControl1->setCurrentWidget(form->TabSheetGPS);
        QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form->WebBrowser1->url().fragment().startsWith("map="), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(form->WebBrowser1->focusProxy() != nullptr, 10000);
        QTest::qWait(500);
        QCOMPARE(form->winId(), id);
    }
};

QObject* newX11Test() {
    return new X11Test;
}

#include "X11Test.moc"
