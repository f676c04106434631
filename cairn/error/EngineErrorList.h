// The engine's error list: every code once, with its constant name, its message text and the
// context values that fill the text's placeholders. Both the code constants
// (EngineErrorCodes.h) and the message table (EngineErrorMessages.cc) are made from it.
//
//   X(code, CONSTANT, "text", "placeholders")  a code with a constant name
//   U(code, "text", "placeholders")            a code without one
//
// Placeholder letters, one per "%s" or "%u" of the text, in order:
//   T table, D database, F field, I index, R server address, U user, P procedure, E event,
//   M extra message, L line, C column, S session ID, O operating-system code.
// Sorted by code; the message table checks the order when it is compiled.
#pragma once

// clang-format off
#define CAIRN_ENGINE_ERRORS(X, U) \
  X(8705, CAIRN_BOF, "Beginning of table '%s' unexpectedly encountered", "T") \
  X(8706, CAIRN_EOF, "End of table '%s' unexpectedly encountered", "T") \
  X(8708, CAIRN_KEYORRECDELETED, "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", "T") \
  X(8709, CAIRN_NOCURRREC, "No current record in the table '%s'", "T") \
  X(8710, CAIRN_RECNOTFOUND, "Record not found in the table '%s'", "T") \
  X(8711, CAIRN_ENDOFBLOB, "End of BLOB field in the table '%s' reached prematurely", "T") \
  X(8961, CAIRN_HEADERCORRUPT, "Header information corrupt in the table '%s'", "T") \
  X(8962, CAIRN_FILECORRUPT, "Data record buffers corrupt in the table '%s'", "T") \
  X(8963, CAIRN_MEMOCORRUPT, "BLOB block buffers corrupt in the table '%s'", "T") \
  X(8965, CAIRN_INDEXCORRUPT, "Index page buffers corrupt in the table '%s'", "T") \
  X(9217, CAIRN_READERR, "Error reading from the table or backup file '%s'", "T") \
  X(9218, CAIRN_WRITEERR, "Error writing to the table or backup file '%s'", "T") \
  X(9477, CAIRN_RECTOOBIG, "Maximum record size exceeded in the table '%s'", "T") \
  X(9479, CAIRN_TABLEFULL, "The table '%s' is full and cannot contain any more data", "T") \
  X(9480, CAIRN_DATABASEFULL, "The database '%s' is full and cannot contain any more tables", "D") \
  X(9482, CAIRN_INTERNALLIMIT, "Too many filters defined for the table '%s'", "T") \
  X(9487, CAIRN_INDEXLIMIT, "Maximum or minimum limits on the index page size, the number of indexes, or the number of fields in an index exceeded in the table '%s'", "T") \
  X(9492, CAIRN_FLDLIMIT, "Maximum or minimum limits on number of fields exceeded in the table '%s'", "T") \
  X(9494, CAIRN_OPENBLOBLIMIT, "Too many BLOBs opened in the table '%s'", "T") \
  X(9498, CAIRN_BLOBLIMIT, "Too many BLOB fields or invalid BLOB block size specified for the table '%s'", "T") \
  X(9729, CAIRN_KEYVIOL, "Duplicate key found in the index '%s' of the table '%s'", "IT") \
  X(9730, CAIRN_MINVALERR, "The value for the field '%s' in the table '%s' is below the minimum allowable value", "FT") \
  X(9731, CAIRN_MAXVALERR, "The value for the field '%s' in the table '%s' is above the maximum allowable value", "FT") \
  X(9732, CAIRN_REQDERR, "A value must be provided for the field '%s' in the table '%s'", "FT") \
  X(9985, CAIRN_OUTOFRANGE, "Invalid field number or name '%s' specified for the table '%s'", "FT") \
  X(9993, CAIRN_PRIMARYKEYREDEFINE, "A primary index is already defined for the table '%s' and cannot be added again", "T") \
  X(9998, CAIRN_INVALIDBLOBOFFSET, "Invalid BLOB offset into the table '%s' specified", "T") \
  X(10000, CAIRN_INVALIDFLDTYPE, "Invalid field definition specified for the field '%s' in the table '%s'", "FT") \
  X(10006, CAIRN_INVALIDVCHKSTRUCT, "Invalid default expression or min/max constraint specified for the field '%s' in the table '%s'", "FT") \
  X(10010, CAIRN_INDEXNAMEREQUIRED, "The secondary index name is missing or not specified for the table '%s'", "T") \
  X(10015, CAIRN_INVALIDPASSWORD, "Password provided for the table '%s' is invalid", "T") \
  X(10022, CAIRN_INVALIDINDEXNAME, "Invalid secondary index name '%s' specified for the table '%s'", "IT") \
  X(10023, CAIRN_INVALIDIDXDESC, "Invalid field number '%s' specified in the index '%s' for the table '%s'", "FIT") \
  X(10026, CAIRN_INVALIDKEY, "Invalid key size specified in the index '%s' for the table '%s'", "IT") \
  X(10027, CAIRN_INDEXEXISTS, "The secondary index '%s' already exists for the table '%s'", "IT") \
  X(10029, CAIRN_INVALIDBLOBLEN, "Invalid BLOB length in the table '%s'", "T") \
  X(10030, CAIRN_INVALIDBLOBHANDLE, "Invalid BLOB handle for the table '%s' specified", "T") \
  X(10031, CAIRN_TABLEOPEN, "The table '%s' is already in use", "T") \
  X(10038, CAIRN_INVALIDFIELDNAME, "Invalid or duplicate field name '%s' specified for the table '%s'", "FT") \
  X(10050, CAIRN_NOSUCHFILTER, "Invalid filter handle specified for the table '%s'", "T") \
  X(10051, CAIRN_INVALIDFILTER, "Filter error for the table '%s' - %s at line %u, column %u", "TMLC") \
  X(10221, CAIRN_LOCKREADLOCK, "Cannot read lock the lock file for the database '%s'", "D") \
  X(10222, CAIRN_LOCKREADUNLOCK, "Cannot read unlock the lock file for the database '%s'", "D") \
  X(10223, CAIRN_LOCKWRITELOCK, "Cannot write lock the lock file for the database '%s'", "D") \
  X(10224, CAIRN_LOCKWRITEUNLOCK, "Cannot write unlock the lock file for the database '%s'", "D") \
  X(10225, CAIRN_READLOCK, "Cannot read lock the table '%s'", "T") \
  X(10226, CAIRN_READUNLOCK, "Cannot read unlock the table '%s'", "T") \
  X(10227, CAIRN_WRITELOCK, "Cannot write lock the table '%s'", "T") \
  X(10228, CAIRN_WRITEUNLOCK, "Cannot write unlock the table '%s'", "T") \
  X(10229, CAIRN_TRANSLOCK, "Transaction cannot lock the database '%s'", "D") \
  X(10230, CAIRN_TRANSUNLOCK, "Transaction cannot unlock the database '%s'", "D") \
  X(10241, CAIRN_LOCKED, "Cannot lock the table '%s'", "T") \
  X(10242, CAIRN_UNLOCKFAILED, "Cannot unlock the table or record in the table '%s'", "T") \
  U(10243, "Cannot lock the session (ID: %u)", "S") \
  X(10253, CAIRN_NEEDEXCLACCESS, "The table '%s' must be opened exclusively", "T") \
  X(10258, CAIRN_RECLOCKFAILED, "Cannot lock record in the table '%s'", "T") \
  X(10498, CAIRN_NOTSUFFTABLERIGHTS, "Insufficient rights to the table '%s', a password is required", "T") \
  X(10753, CAIRN_NOTABLOB, "Invalid BLOB field '%s' specified for the table '%s'", "FT") \
  X(11010, CAIRN_OSENOENT, "Table or backup file '%s' does not exist", "T") \
  X(11012, CAIRN_OSEMFILE, "Too many operating system files open while attempting to open the table '%s'", "T") \
  X(11013, CAIRN_OSEACCES, "Access denied to table or backup file '%s'", "T") \
  X(11014, CAIRN_OSEBADF, "Invalid operating system file handle for the table '%s'", "T") \
  X(11016, CAIRN_OSENOMEM, "There is insufficient operating system memory available for the current operation", "") \
  X(11023, CAIRN_OSENODEV, "Access denied to logical operating system device for the table '%s'", "T") \
  X(11025, CAIRN_OSENOTSAM, "The table or backup file '%s' has been moved", "T") \
  X(11047, CAIRN_OSUNKNOWN, "An unknown operating system error %u occurred with the table or backup file '%s'", "OT") \
  X(11276, CAIRN_REMOTECOMMLOST, "The connection to the database server at '%s' has been lost", "R") \
  X(11277, CAIRN_REMOTEENCRYPTREQ, "The database server at '%s' requires an encrypted connection", "R") \
  X(11279, CAIRN_REMOTEUNKNOWN, "An unknown error ('%s') occurred with the connection to the database server at '%s', please check the server log", "MR") \
  X(11280, CAIRN_REMOTECONNECT, "A connection to the database server at '%s' cannot be established", "R") \
  X(11281, CAIRN_REMOTENOLOGIN, "A connection to the database server at '%s' cannot be established, the server is not accepting new logins", "R") \
  X(11282, CAIRN_REMOTEMAXCONNECT, "A connection to the database server at '%s' cannot be established, the maximum number of server or user connections has been reached", "R") \
  X(11283, CAIRN_REMOTEADDRESSBLOCK, "A connection to the database server at '%s' cannot be established, the client address is blocked", "R") \
  X(11285, CAIRN_REMOTECALLBACKERR, "A server callback error occurred for the database server at '%s'", "R") \
  X(11286, CAIRN_REMOTEVERSION, "A call to the database server at '%s' failed, the client engine version does not match the server", "R") \
  X(11287, CAIRN_REMOTEINVLOGIN, "A connection to the database server at '%s' cannot be established, the login information provided is invalid", "R") \
  X(11288, CAIRN_REMOTENOTAUTH, "The user '%s' is not authorized to perform this operation with the database '%s' on the database server at '%s'", "UDR") \
  X(11289, CAIRN_REMOTENOTADMIN, "The user '%s' is not authorized to perform administration functions on the database server at '%s'", "UR") \
  X(11290, CAIRN_REMOTEINVUSER, "The user name is either invalid or blank", "") \
  X(11291, CAIRN_REMOTENOUSER, "The user '%s' does not exist on the database server at '%s'", "UR") \
  X(11292, CAIRN_REMOTEDUPUSER, "The user '%s' already exists on the database server at '%s'", "UR") \
  X(11293, CAIRN_REMOTEINVDB, "The database name or directory is either invalid or blank", "") \
  X(11294, CAIRN_REMOTENODB, "The database '%s' does not exist on the database server at '%s'", "DR") \
  X(11295, CAIRN_REMOTEDUPDB, "The database '%s' already exists on the database server at '%s'", "DR") \
  X(11296, CAIRN_REMOTEINVDBUSER, "The database user name is either invalid or blank", "") \
  X(11297, CAIRN_REMOTENODBUSER, "The database user '%s' does not exist for the database '%s' on the database server at '%s'", "UDR") \
  X(11298, CAIRN_REMOTEDUPDBUSER, "The database user '%s' already exists for the database '%s' on the database server at '%s'", "UDR") \
  U(11299, "The procedure name is either invalid or blank", "") \
  U(11300, "The procedure '%s' does not exist on the database server at '%s'", "PR") \
  U(11301, "The procedure '%s' already exists on the database server at '%s'", "PR") \
  U(11302, "The procedure user name is either invalid or blank", "") \
  /* The procedure users of a server procedure; wording ours, in the style of the database users. */ \
  U(11303, "The procedure user '%s' does not exist for the procedure '%s' on the database server at '%s'", "UPR") \
  U(11304, "The procedure user '%s' already exists for the procedure '%s' on the database server at '%s'", "UPR") \
  U(11305, "The event name is either invalid or blank", "") \
  U(11306, "The event '%s' does not exist on the database server at '%s'", "ER") \
  U(11307, "The event '%s' already exists on the database server at '%s'", "ER") \
  X(11308, CAIRN_REMOTEINVREQUEST, "An invalid or unknown request was made to the database server at '%s'", "R") \
  X(11309, CAIRN_IMPORTERROR, "An error occurred during the import into the table '%s' - %s", "TM") \
  X(11310, CAIRN_EXPORTERROR, "An error occurred during the export from the table '%s' - %s", "TM") \
  X(11312, CAIRN_LOADSTREAMERROR, "An error occurred during the loading of a stream into the table '%s' - %s", "TM") \
  X(11313, CAIRN_SAVESTREAMERROR, "An error occurred during the saving of the table '%s' to a stream - %s", "TM") \
  X(11314, CAIRN_TRIGGERERROR, "An error occurred during a trigger on the table '%s' - %s", "TM") \
  X(11949, CAIRN_SQLPARSE, "SQL parsing error - %s at line %u, column %u", "MLC") \
  X(11950, CAIRN_SQLEXEC, "SQL execution error - %s", "M") \
  X(12035, CAIRN_OLDVERSION, "The table '%s' is not the correct version", "T") \
  X(12036, CAIRN_BADSIGNATURE, "The table or backup file '%s' is not valid", "T") \
  X(12292, CAIRN_SEARCHCOLREQD, "Invalid field '%s' specified for the index '%s' in the table '%s'", "FIT") \
  X(13060, CAIRN_TABLEEXISTS, "The table '%s' already exists", "T") \
  X(15001, CAIRN_COMPRESS, "Error compressing data", "") \
  X(15002, CAIRN_UNCOMPRESS, "Error uncompressing data", "") \
  X(15878, CAIRN_CANNOTLOADLDDRV, "The locale support for the table '%s' is not available or installed", "T")
// clang-format on
