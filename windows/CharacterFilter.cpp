#include "CharacterFilter.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>

namespace {

// Full-width digits and points (and the other compatibility forms) in their plain forms.
QString folded(const QString& text) {
    return text.normalized(QString::NormalizationForm_KC);
}

bool isControl(QChar c) {
    return c.category() == QChar::Other_Control;
}

} // namespace

CharacterFilter::CharacterFilter(QLineEdit* field, KeyFilter filter)
    : QObject(field), field_(field), filter_(std::move(filter)) {
    field->installEventFilter(this);
}

CharacterFilter* CharacterFilter::of(const QObject* field) {
    return field ? field->findChild<CharacterFilter*>(QString(), Qt::FindDirectChildrenOnly)
                 : nullptr;
}

bool CharacterFilter::passes(QChar c) const {
    filter_(c);
    return !c.isNull();
}

QString CharacterFilter::allowed(const QString& text) const {
    QString kept;
    for (QChar c : folded(text))
        if (!isControl(c) && passes(c))
            kept += c;
    return kept;
}

void CharacterFilter::paste(QClipboard::Mode mode) {
    const QString kept = allowed(QGuiApplication::clipboard()->text(mode));
    if (!field_->isReadOnly() && !kept.isEmpty())
        field_->insert(kept);
}

bool CharacterFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != field_)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        return filterKey(event);
    case QEvent::InputMethod:
        return filterInputMethod(event);
    case QEvent::Drop:
        return filterDrop(event);
    case QEvent::MouseButtonRelease:
        // The X11 middle-button paste of the mouse selection.
        if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton ||
            !QGuiApplication::clipboard()->supportsSelection())
            return false;
        field_->deselect();
        paste(QClipboard::Selection);
        return true;
    default:
        return false;
    }
}

bool CharacterFilter::filterKey(QEvent* event) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
        paste();
        return true;
    }
    // Shortcuts, and keys whose text is a control character (X11 gives Delete as U+007F and
    // Backspace as U+0008), are keys for the field, not characters typed into it. A letter with
    // Alt that no menu takes would still be typed, so its text is filtered like any other.
    const QString text = key->text();
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier) ||
        text.isEmpty() || isControl(text.front()))
        return false;
    const QString kept = allowed(text);
    if (kept != folded(text))
        return true; // refused before it reaches the field
    if (kept == text)
        return false;
    field_->insert(kept);
    return true;
}

bool CharacterFilter::filterInputMethod(QEvent* event) {
    const auto* input = static_cast<QInputMethodEvent*>(event);
    const QString commit = input->commitString();
    const QString kept = allowed(commit);
    if (kept == commit)
        return false;
    QInputMethodEvent replacement(input->preeditString(), input->attributes());
    replacement.setCommitString(kept, input->replacementStart(), input->replacementLength());
    QCoreApplication::sendEvent(field_, &replacement);
    return true;
}

bool CharacterFilter::filterDrop(QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);
    const QMimeData* data = drop->mimeData();
    if (!data || !data->hasText())
        return false;
    const QString kept = allowed(data->text());
    if (kept == data->text())
        return false;
    QMimeData filtered;
    filtered.setText(kept);
    QDropEvent replacement(drop->position(), drop->possibleActions(), &filtered, drop->buttons(),
                           drop->modifiers());
    replacement.setDropAction(drop->dropAction());
    QCoreApplication::sendEvent(field_, &replacement);
    drop->setDropAction(replacement.dropAction());
    drop->setAccepted(replacement.isAccepted());
    return true;
}
