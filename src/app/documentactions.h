// The main window's actions that hand the selected contacts to the windows
// of the documents: each reads the contact list's selection (object id in
// column 0) and shows the window modally, or walks the selection in batch.
// The window passed must be the running main window with its grid filled.
#pragma once

class TMainListForm;

// One selected contact: the e-mail window addressed to the contact person
// (columns 3 and 7), or "Invalid 'Email' address." when the address has no
// '@'. Two or more: the window in bulk mode over the grid's selection.
void emailActionExecute(TMainListForm& window);

// One selected contact: the cheque window, then the row's amount cell shows
// the contact's stored amount. Several: after a question, one hidden cheque
// window prints a cheque for each in row order, stopping at the first
// contact that cannot be printed.
void chequeActionExecute(TMainListForm& window);

// The cheque report, shown modally; it needs no selection.
void reportActionExecute(TMainListForm& window);

// The contact list as the grid shows it, in the list print dialog: landscape
// when the columns are wider than 680 pixels, headed "Customer List Report".
void printListExecute(TMainListForm& window);

// One selected contact: the envelope window on the contact's layout. Several:
// after a question, one hidden envelope window prints an envelope for each in
// row order, each with its own layout (or the one it would open on), stopping
// at the first that cannot be printed.
void envelopeActionExecute(TMainListForm& window);

// The card picture of the topmost selected contact in the card window; says so
// when the contact has none or its bytes cannot be read.
void cardActionExecute(TMainListForm& window);
