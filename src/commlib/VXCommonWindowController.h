#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

// Base of the main window controller and of every tool sheet: owns one
// window, made on first use by makeWindow().
//
// Callers rely on:
// - beginSheetWindow shows another controller's window as a window-modal
//   child of this window and returns at once; several sheets may be up over
//   one window, and a sheet may carry a sheet of its own (showModeWindow).
// - Ending a sheet hides it and hands it back as a window of its own; ending a
//   sheet that is not up does nothing.
// - Only the controller deletes its window. A parent window going away first
//   gives its sheets back instead of taking them along.
class VXCommonWindowController : public QObject {
    Q_OBJECT
public:
    explicit VXCommonWindowController(QObject* parent = nullptr);
    ~VXCommonWindowController() override;

    // The window, made on first use.
    QWidget* window();
    bool isWindowLoaded() const { return !window_.isNull(); }

    void beginSheetWindow(QWidget* sheet);
    void endSheetWindow(QWidget* sheet);
    void endSheetOfSelfWindow();
    // Shows `window` as a sheet over this controller's window (itself a sheet).
    void showModeWindow(QWidget* window);

    void showNormalWindow();
    void dismissNormalWindow();

    // True while this controller's window is up as a sheet on another window.
    bool isSheetUp() const;

protected:
    // Makes the window; the default is an empty VXCommonWindow.
    virtual QWidget* makeWindow();
    // Runs once after the window was made.
    virtual void windowDidLoad() { }

private:
    static void releaseSheet(QWidget* sheet);

    QPointer<QWidget> window_;
    QList<QPointer<QWidget>> sheets_;
};
