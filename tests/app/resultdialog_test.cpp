#include "app/resultform.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint global)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses `button` at the middle of `handle`, moves by `by` and releases; returns how far the
// window moved.
QPoint drag(TFormResult& form, QWidget* handle, Qt::MouseButton button, QPoint by)
{
    const QPoint before = form.pos();
    const QPoint start = handle->mapToGlobal(handle->rect().center());
    sendMouse(handle, QEvent::MouseButtonPress, button, start);
    sendMouse(handle, QEvent::MouseMove, button, start + by);
    sendMouse(handle, QEvent::MouseButtonRelease, button, start + by);
    return form.pos() - before;
}

TEST(ResultForm, DraggedByItsBodyWithAnyButtonButTheRightOne)
{
    TFormResult form(nullptr, {});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    for (QWidget* handle : {static_cast<QWidget*>(form.Image1), static_cast<QWidget*>(form.Label1),
                            static_cast<QWidget*>(form.Label6), static_cast<QWidget*>(&form)}) {
        EXPECT_EQ(drag(form, handle, Qt::LeftButton, {30, 20}), QPoint(30, 20))
            << handle->objectName().toStdString();
        EXPECT_EQ(drag(form, handle, Qt::RightButton, {30, 20}), QPoint(0, 0))
            << handle->objectName().toStdString();
    }
}

TEST(ResultForm, EscapeAndCloseEndTheWindowAndTheFolderButtonAsksWhichFolder)
{
    int asked = 0;
    TFormResult form(nullptr, [&asked] {
        ++asked;
        return QString();
    });
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Result"));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("Open Folder Location..."));
    form.Button1->click();
    EXPECT_EQ(asked, 1);

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());

    form.show();
    form.Button2->click();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
