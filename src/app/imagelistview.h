// The view of the image list: a table that, while it has no rows, tells in its middle how images
// get into it.
#pragma once

#include <QTableView>

class TImageListView : public QTableView
{
    Q_OBJECT

public:
    using QTableView::QTableView;

    // The text shown while the list is empty.
    void SetEmptyHint(const QString& text);
    const QString& EmptyHint() const { return emptyHint_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString emptyHint_;
};
