#pragma once
// Control ids of the exception dialog, the classic error dialog and the
// reproduce-steps request (templates in QuelbaDialogs.rc). Plain macros: the
// resource compiler reads this file too.

// QL_DIALOG: the detailed exception dialog.
#define QL_DLG_HEADER 101
#define QL_DLG_OK 102
#define QL_DLG_TERMINATE 103
#define QL_DLG_DETAILS 104
#define QL_DLG_HELP 105
#define QL_DLG_TABS 1000
#define QL_DLG_SEPARATOR 2000
#define QL_DLG_SEND 3000
#define QL_DLG_SCREENSHOT 4000
#define QL_DLG_COPY 5000

// QL_MS_DIALOG: the classic error dialog.
#define QL_MS_HEADER 102
#define QL_MS_MESSAGE 103
#define QL_MS_RESTART 104
#define QL_MS_TELL 105
#define QL_MS_EXPLAIN 106
#define QL_MS_SEEDATA 107
#define QL_MS_QUESTION 108
#define QL_MS_DESCRIPTION 109
#define QL_MS_EMAIL_LABEL 110
#define QL_MS_EMAIL 111
#define QL_MS_SEND 1000
#define QL_MS_DONT_SEND 1001
#define QL_MS_HELP 1002

// QL_REQUEST: the reproduce-steps request.
#define QL_REQ_LABEL 100
#define QL_REQ_EDIT 101
#define QL_REQ_OK 2
