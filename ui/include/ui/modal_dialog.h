// The program's one way to run a modal dialog: every dialog the program shows
// modally goes through execDialog(). Tests install a responder that gets the
// dialog, may set its controls (or click its buttons), and chooses how it ends;
// without one the dialog runs its own loop (QDialog::exec). On the headless
// "offscreen" platform, where nobody can answer, an unanswered dialog is logged
// and rejected without being shown, instead of blocking the program forever.
//
// With a responder the dialog is shown first (so what it sets up when shown has
// run), then the responder runs, then the dialog's own accept() or reject() ends
// it, so an override that reads the controls on OK runs as a click would run it.
// A responder that already closed the dialog (clicked its OK button, called
// done()) has its choice ignored: the dialog's own result counts. An accept the
// dialog refuses (its accept() leaves it open) ends with a warning as Rejected.
#pragma once

#include "ui/responder.h"

class QDialog;

namespace qvui {

enum class DialogChoice { Accept, Reject };

// Runs `dialog` modally; its result: QDialog::Accepted, QDialog::Rejected, or
// the code it closed itself with (done(r)).
int execDialog(QDialog& dialog);

// While it lives, every dialog goes to the responder instead of the screen.
using DialogResponder = ScopedResponder<DialogChoice(QDialog& dialog), DialogChoice>;

} // namespace qvui
