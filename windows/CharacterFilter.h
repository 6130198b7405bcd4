#pragma once

#include <QClipboard>
#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;

// Keeps a one-line field to the characters a key filter lets through, however they arrive:
// typed, pasted (shortcut, edit menu, middle button), dropped, or committed by an input method.
// Full-width digits and points from a Japanese input method count as their ASCII forms. Keys
// that type nothing (Delete, Backspace, arrows, Home/End) and the editing shortcuts (Ctrl+A, C,
// V, X, Z) work as in any field.
class CharacterFilter : public QObject {
    Q_OBJECT

public:
    // A key filter sets the character it is given to 0 to refuse it.
    using KeyFilter = std::function<void(QChar&)>;

    CharacterFilter(QLineEdit* field, KeyFilter filter);

    // The characters of `text` that the filter lets through, control characters left out.
    QString allowed(const QString& text) const;
    // Inserts the clipboard's (or the mouse selection's) text, filtered, as one step that Undo
    // takes back.
    void paste(QClipboard::Mode mode = QClipboard::Clipboard);

    // The filter watching `field`, if any.
    static CharacterFilter* of(const QObject* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool passes(QChar c) const;
    bool filterKey(QEvent* event);
    bool filterInputMethod(QEvent* event);
    bool filterDrop(QEvent* event);

    QLineEdit* field_;
    KeyFilter filter_;
};
