// Spreadsheet exchange of the contact list: the main window's export of the
// selected contacts and import of a sheet into the chosen category, through
// TZrvExcel.
//
// The contact sheet: row 1 holds the headers "Name", "Address1", "Address2",
// "Address3", "Contact", "Tel", "Mobile", "Fax", "Remark", "Email",
// "Website", "Cheque Amount"; each following row one contact, columns 1 to 11
// its texts, column 12 its amount as a number. IDs, categories, pictures and
// layouts are not in the sheet.
//
// Export asks both of its questions before it writes anything and replaces
// an existing file only with a completely written one. Import reads rows from
// 2 on until the first row whose first column is blank, gives the contacts
// consecutive IDs above the highest stored one, and stores all of them in one
// transaction: a file that cannot be read imports nothing, and an error
// half-way rolls the whole import back. A CSV file is split as the list
// grid splits one (workbookfiles::CsvDelimiter). Amounts given as texts (a
// CSV file's, or text cells of other files) are read together, by the rule
// of FileAmounts: the marks they show decide, else the locale the delimiter
// goes with (a decimal comma with ";", a decimal point otherwise); number
// cells are read as the user typed them (ReadNumberCell). An amount that is
// no number, that is written with the other decimal mark than the file is
// read with ("12,50" in a file of "1,234.50"), that could be read two ways
// ("1.234" in a file that shows both "12.50" and "12,50"), or that a
// contact cannot keep as it stands (FitFileAmount: "19.999", "4999.999",
// "-3") comes in as 0, and the closing message says why, naming the first
// customers of each reason. Every message that gives a count says "1
// customer has", "2 customers have".
#pragma once

class TMainListForm;

void exportActionExecute(TMainListForm& window);
void ImportButtonClick(TMainListForm& window);
