#include "app/schema.h"

// The program's database object, then the table descriptors. Their order
// here is the order in which they are built, and the order of their rows in
// the database's table of tables: keep it.
zarvoDatabase database(dbDatabase::dbAllAccess, 1048576, 4194304, 65536, 1);

DB_TABLE(Config);
DB_TABLE(Customer);
DB_TABLE(EnvelopeSetup);
DB_TABLE(Category);
DB_TABLE(ChequeSetup);
DB_TABLE(ReceiptSetup);
DB_TABLE(MailSetup);
DB_TABLE(CustomerWidth);
DB_TABLE(Cheque);
DB_TABLE(Mail);
