// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>

class QGraphicsProxyWidget;
class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QPushButton;
class QTimer;

namespace windowscale {
// The scale of the form on a page of this size: 1 where the page holds the whole form,
// else the largest uniform scale at which it fits, rounded down to a thousandth.
double PageFactor(QSize form, QSize page);
} // namespace windowscale

// The window of the page: it fills the browser window, has no frame of its own and shows
// the form in its middle. Where the page is at least the form's size the form shows pixel
// for pixel; where it is smaller, the form is scaled down uniformly through a view, so every
// position, press and pixel read-back inside the form stays as it is. A new page size (the
// browser window resized, a tablet turned) fits the form again.
//
// A page cannot close itself: ending the program shows a closing screen instead, whose
// button starts the program again with a new form. Where the page keeps a learning record,
// the closing screen also says how many statements still wait for the store, and offers to
// save the rows of a record file.
class PageWindow : public QWidget
{
    Q_OBJECT
public:
    // What the closing screen asks of the page's record.
    struct Record
    {
        std::function<int()> waiting;   // statements the store has not yet taken
        std::function<int()> unsaved;   // rows of a record file not yet saved; null for none
        std::function<void()> save;     // saves them as a file
    };

    // Makes a new form, laid out and showing its first menu.
    using MakeForm = std::function<std::unique_ptr<QWidget>()>;
    explicit PageWindow(MakeForm makeForm);
    ~PageWindow() override;

    double scale() const { return factor_; }
    QWidget& form() { return *form_; }
    // The scaling view, or null while the form is shown directly at a scale of 1.
    QGraphicsView* view() { return view_; }
    QWidget& closingScreen() { return *closing_; }
    QPushButton& againButton() { return *again_; }
    QLabel& unsentLine() { return *unsent_; }
    QPushButton& saveButton() { return *save_; }
    void setRecord(Record record);

    // Hides the form and shows the closing screen.
    void showClosing();
    // Leaves the closing screen with a new form, as the program starts.
    void startAgain();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();
    void showThroughView();
    // Shows the record's line and button as they now stand.
    void showRecord();

    MakeForm makeForm_;
    std::unique_ptr<QWidget> form_;
    std::unique_ptr<QGraphicsScene> scene_;
    QGraphicsView* view_ = nullptr;
    QGraphicsProxyWidget* proxy_ = nullptr;
    QWidget* closing_ = nullptr;
    QPushButton* again_ = nullptr;
    QLabel* unsent_ = nullptr;
    QPushButton* save_ = nullptr;
    QTimer* recordTimer_ = nullptr;
    Record record_;
    double factor_ = 1.0;
};
