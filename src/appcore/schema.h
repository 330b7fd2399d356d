// The data model: the ten record classes the program keeps in its database,
// one table each. Members are declared in the order the program uses them;
// each class's DB_FIELDS list gives the order in which the fields are stored,
// which decides the stored layout and must not change (existing files depend
// on it; a change needs the old layout declared in schema_tables.h, or every
// existing file is taken for damaged). The table descriptors are defined in
// schema.cpp.
//
// Callers keep to these rules:
//  - Texts of a record being written point into a zarvoBuffer of the writer
//    (or other storage) that lives until the insert or update is made; a
//    null text is stored as "".
//  - Texts and byte arrays of a fetched record live while the transaction
//    lasts: copy what you keep past a commit.
//  - A record object owns the bytes of its byte arrays (pictures, 60-byte
//    font records): destroying it frees them.
#pragma once

#include "engine/zarvoCursor.h"

// Left and top (whole millimetres from the page's top-left corner), colour
// (0x00BBGGRR) and font (a 60-byte font record) of one printed item.
#define QUILLET_ITEM_BLOCK(item) \
    int2 item##Left = 0;         \
    int2 item##Top = 0;          \
    int4 item##Color = 0;        \
    dbArray<int1> item##Font
#define QUILLET_DESCRIBE_ITEM_BLOCK(item) \
    DB_FIELD(item##Left), DB_FIELD(item##Top), DB_FIELD(item##Color), DB_FIELD(item##Font)

// The one settings record of the program.
class Config {
  public:
    const char* password = nullptr;  // start-up password; "" asks none
    int2 version = 0;                // data version reached by the start-up upgrades
    dbDateTime lastBackupDate;       // local midnight of the last daily backup; -1 before the first
    bool everytime = false;          // back up on exit
    bool everyday = false;           // back up at the first start of each day
    int1 lastBackup = 0;             // generation written last, 0 .. totalBackup - 1
    int1 totalBackup = 0;            // generations kept

    DB_FIELDS(Config, DB_FIELD(version), DB_FIELD(password), DB_KEY(lastBackupDate, dbHashed | dbIndexed),
              DB_FIELD(everytime), DB_FIELD(everyday), DB_FIELD(lastBackup), DB_FIELD(totalBackup))
};

// A contact category.
class Category {
  public:
    const char* name = nullptr;

    DB_FIELDS(Category, DB_FIELD(name))
};

// A named envelope layout. Pictures are JPEG files.
class EnvelopeSetup {
  public:
    const char* name = nullptr;
    real4 pageHeight = 0;  // mm
    real4 pageWidth = 0;   // mm
    const char* title = nullptr;
    QUILLET_ITEM_BLOCK(title);
    QUILLET_ITEM_BLOCK(companyName);
    QUILLET_ITEM_BLOCK(address1);
    QUILLET_ITEM_BLOCK(address2);
    QUILLET_ITEM_BLOCK(address3);
    QUILLET_ITEM_BLOCK(attention);
    const char* head = nullptr;   // before the attention name
    const char* tail = nullptr;   // after the attention name
    const char* image = nullptr;  // always ""
    int2 imageTop = 0;
    int4 imageLeft = 0;  // 32 bits, unlike the other positions
    dbArray<int1> image1;
    int2 image2Top = 0;
    int2 image2Left = 0;
    dbArray<int1> image2;
    bool vertical = false;  // portrait

    DB_FIELDS(EnvelopeSetup, DB_FIELD(pageWidth), DB_FIELD(pageHeight), DB_FIELD(title),
              QUILLET_DESCRIBE_ITEM_BLOCK(title), QUILLET_DESCRIBE_ITEM_BLOCK(companyName),
              QUILLET_DESCRIBE_ITEM_BLOCK(address1), QUILLET_DESCRIBE_ITEM_BLOCK(address2),
              QUILLET_DESCRIBE_ITEM_BLOCK(address3), QUILLET_DESCRIBE_ITEM_BLOCK(attention), DB_FIELD(image),
              DB_FIELD(imageLeft), DB_FIELD(imageTop), DB_FIELD(image2), DB_FIELD(image2Left),
              DB_FIELD(image2Top), DB_FIELD(image1), DB_FIELD(vertical), DB_FIELD(name), DB_FIELD(head),
              DB_FIELD(tail))
};

// A named cheque layout. Pictures are bitmap files.
class ChequeSetup {
  public:
    const char* name = nullptr;
    real4 pageHeight = 0;  // mm
    real4 pageWidth = 0;   // mm
    QUILLET_ITEM_BLOCK(name);        // the payee
    QUILLET_ITEM_BLOCK(amount);      // the amount in figures
    QUILLET_ITEM_BLOCK(amountText);  // first line of the amount in words
    int2 amount2Left = 0;            // second line (first line's colour and font)
    int2 amount2Top = 0;
    int2 separateLen = 0;  // line-split length of the amount in words
    int2 imageTop = 0;
    int2 imageLeft = 0;
    dbArray<int1> image;
    QUILLET_ITEM_BLOCK(year);
    QUILLET_ITEM_BLOCK(month);
    QUILLET_ITEM_BLOCK(day);
    const char* string = nullptr;  // always ""
    bool vertical = false;         // portrait
    bool chineseAmount = false;
    bool englishMonth = false;  // month in words
    int2 image2Top = 0;
    int2 image2Left = 0;
    dbArray<int1> image2;
    const char* cent = nullptr;    // currency word of the cents
    const char* dollar = nullptr;  // currency word of the whole part
    bool singleAnd = false;
    bool hyphen = false;
    bool smallLetter = false;

    DB_FIELDS(ChequeSetup, DB_FIELD(pageWidth), DB_FIELD(pageHeight), QUILLET_DESCRIBE_ITEM_BLOCK(name),
              QUILLET_DESCRIBE_ITEM_BLOCK(amount), QUILLET_DESCRIBE_ITEM_BLOCK(amountText), DB_FIELD(image),
              DB_FIELD(imageLeft), DB_FIELD(imageTop), QUILLET_DESCRIBE_ITEM_BLOCK(year),
              QUILLET_DESCRIBE_ITEM_BLOCK(month), QUILLET_DESCRIBE_ITEM_BLOCK(day), DB_FIELD(string),
              DB_FIELD(amount2Left), DB_FIELD(amount2Top), DB_FIELD(vertical), DB_FIELD(name),
              DB_FIELD(chineseAmount), DB_FIELD(englishMonth), DB_FIELD(separateLen), DB_FIELD(image2),
              DB_FIELD(image2Left), DB_FIELD(image2Top), DB_FIELD(cent), DB_FIELD(dollar), DB_FIELD(singleAnd),
              DB_FIELD(hyphen), DB_FIELD(smallLetter))
};

// A receipt layout; declared, never read or written.
class ReceiptSetup {
  public:
    const char* name = nullptr;
    real4 pageHeight = 0;
    real4 pageWidth = 0;
    QUILLET_ITEM_BLOCK(name);
    QUILLET_ITEM_BLOCK(amount);
    QUILLET_ITEM_BLOCK(amountText);
    QUILLET_ITEM_BLOCK(amount2);
    int2 imageTop = 0;
    int2 imageLeft = 0;
    dbArray<int1> image;
    QUILLET_ITEM_BLOCK(year);
    QUILLET_ITEM_BLOCK(month);
    QUILLET_ITEM_BLOCK(day);
    bool vertical = false;
    const char* string = nullptr;

    DB_FIELDS(ReceiptSetup, DB_FIELD(pageWidth), DB_FIELD(pageHeight), QUILLET_DESCRIBE_ITEM_BLOCK(name),
              QUILLET_DESCRIBE_ITEM_BLOCK(amount), QUILLET_DESCRIBE_ITEM_BLOCK(amountText), DB_FIELD(image),
              DB_FIELD(imageLeft), DB_FIELD(imageTop), QUILLET_DESCRIBE_ITEM_BLOCK(year),
              QUILLET_DESCRIBE_ITEM_BLOCK(month), QUILLET_DESCRIBE_ITEM_BLOCK(day), DB_FIELD(string),
              QUILLET_DESCRIBE_ITEM_BLOCK(amount2), DB_FIELD(vertical), DB_FIELD(name))
};

// One contact.
class Customer {
  public:
    int4 id = 0;  // the contact's number (unique by the editor's check)
    const char* name = nullptr;
    const char* address1 = nullptr;
    const char* address2 = nullptr;
    const char* address3 = nullptr;
    const char* person = nullptr;  // contact person
    const char* telephone = nullptr;
    const char* mobile = nullptr;
    const char* fax = nullptr;
    const char* remark = nullptr;
    const char* email = nullptr;
    const char* website = nullptr;
    real4 amount = 0;                          // default cheque amount
    dbArray<int1> card{};                      // card picture, a JPEG file; empty: none
    dbReference<Category> category{};          // null: none
    dbReference<EnvelopeSetup> envelopeSetup{};  // envelope layout last used
    dbReference<ChequeSetup> chequeSetup{};      // cheque layout last used
    dbReference<ReceiptSetup> receiptSetup{};    // always null

    DB_FIELDS(Customer, DB_KEY(id, dbHashed), DB_KEY(name, dbIndexed), DB_FIELD(address1), DB_FIELD(address2),
              DB_FIELD(address3), DB_FIELD(person), DB_FIELD(telephone), DB_FIELD(fax), DB_FIELD(remark),
              DB_FIELD(email), DB_FIELD(category), DB_FIELD(mobile), DB_FIELD(card), DB_FIELD(amount),
              DB_FIELD(envelopeSetup), DB_FIELD(chequeSetup), DB_FIELD(receiptSetup), DB_FIELD(website))
};

// The one e-mail settings record.
class MailSetup {
  public:
    const char* smtpServer = nullptr;
    int2 port = 0;
    const char* username = nullptr;
    const char* password = nullptr;
    const char* sender = nullptr;
    const char* subject = nullptr;
    const char* greetingHead = nullptr;  // before the recipient's name
    const char* greetingTail = nullptr;  // after the recipient's name
    const char* body = nullptr;
    const char* attachment = nullptr;  // attachment file names
    bool html = false;
    int2 delay = 0;  // batch sending delay setting

    DB_FIELDS(MailSetup, DB_FIELD(smtpServer), DB_FIELD(port), DB_FIELD(username), DB_FIELD(password),
              DB_FIELD(sender), DB_FIELD(subject), DB_FIELD(greetingHead), DB_FIELD(greetingTail), DB_FIELD(body),
              DB_FIELD(html), DB_FIELD(delay), DB_FIELD(attachment))
};

// Column widths (pixels) and sort choice of the main contact grid; one record.
class CustomerWidth {
  public:
    int2 name = 0;
    int2 person = 0;
    int2 telephone = 0;
    int2 mobile = 0;
    int2 fax = 0;
    int2 email = 0;
    int2 website = 0;
    int2 category = 0;
    int2 action = 0;  // written as 0, never read
    int2 id = 0;
    int2 sortBy = 0;  // index of the chosen sort entry
    int2 address = 0;
    int2 remark = 0;
    int2 amount = 0;
    bool reverseSort = false;

    DB_FIELDS(CustomerWidth, DB_FIELD(name), DB_FIELD(person), DB_FIELD(telephone), DB_FIELD(fax), DB_FIELD(email),
              DB_FIELD(category), DB_FIELD(mobile), DB_FIELD(website), DB_FIELD(action), DB_FIELD(id),
              DB_FIELD(sortBy), DB_FIELD(reverseSort), DB_FIELD(address), DB_FIELD(remark), DB_FIELD(amount))
};

// One issued cheque.
class Cheque {
  public:
    const char* chequeNo = nullptr;  // unique among the cheques
    const char* description = nullptr;
    real8 amount = 0;
    dbReference<Customer> customer;  // the payee
    const char* customerName = nullptr;  // the payee's name as printed
    dbReference<ChequeSetup> setup;  // the layout printed with
    dbDateTime transDate;

    DB_FIELDS(Cheque, DB_FIELD(chequeNo), DB_FIELD(description), DB_FIELD(amount), DB_FIELD(customer),
              DB_FIELD(setup), DB_KEY(transDate, dbHashed | dbIndexed), DB_FIELD(customerName))
};

// A named mail template.
class Mail {
  public:
    const char* name = nullptr;
    const char* subject = nullptr;
    const char* greetingHead = nullptr;
    const char* greetingTail = nullptr;
    const char* body = nullptr;
    const char* attachment = nullptr;
    bool html = false;

    DB_FIELDS(Mail, DB_FIELD(name), DB_FIELD(subject), DB_FIELD(greetingHead), DB_FIELD(greetingTail),
              DB_FIELD(body), DB_FIELD(html), DB_FIELD(attachment))
};

// The program's database (all access, 1 MB initial size, 4 MB extension
// quantum, 65,536 initial index entries, one thread), opened at start-up.
extern zarvoDatabase database;
