/* A mail client's Simple MAPI library for the mail tests: it writes what it is
   handed to the file named by FAKE_MAPI_LOG and answers what FAKE_MAPI_LOGON and
   FAKE_MAPI_SEND say (default 0). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct {
  ULONG Reserved, RecipClass;
  LPSTR Name, Address;
  ULONG EIDSize;
  LPVOID EntryID;
} RecipDesc;
typedef struct {
  ULONG Reserved, Flags, Position;
  LPSTR PathName, FileName;
  LPVOID FileType;
} FileDesc;
typedef struct {
  ULONG Reserved;
  LPSTR Subject, NoteText, MessageType, DateReceived, ConversationID;
  ULONG Flags;
  RecipDesc* Originator;
  ULONG RecipCount;
  RecipDesc* Recips;
  ULONG FileCount;
  FileDesc* Files;
} Message;

static ULONG Answer(const char* name) {
  char text[32];
  DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  return n && n < sizeof text ? (ULONG)strtoul(text, NULL, 10) : 0;
}

static FILE* Log(void) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("FAKE_MAPI_LOG", path, sizeof path);
  return n && n < sizeof path ? fopen(path, "ab") : NULL;
}

ULONG WINAPI MAPILogon(ULONG_PTR ui, LPSTR profile, LPSTR password, ULONG flags, ULONG reserved, ULONG_PTR* session) {
  FILE* f = Log();
  if (f) {
    fprintf(f, "logon flags=%lu\n", flags);
    fclose(f);
  }
  *session = 0x5151;
  return Answer("FAKE_MAPI_LOGON");
}

ULONG WINAPI MAPISendMail(ULONG_PTR session, ULONG_PTR ui, Message* m, ULONG flags, ULONG reserved) {
  FILE* f = Log();
  ULONG i;
  if (f) {
    fprintf(f, "send session=%lx flags=%lu subject=%s note=%s\n", (unsigned long)session, flags, m->Subject,
            m->NoteText);
    for (i = 0; i < m->RecipCount; ++i)
      fprintf(f, "recip class=%lu name=%s address=%s\n", m->Recips[i].RecipClass, m->Recips[i].Name,
              m->Recips[i].Address);
    for (i = 0; i < m->FileCount; ++i)
      fprintf(f, "file position=%ld path=%s name=%s\n", (long)m->Files[i].Position, m->Files[i].PathName,
              m->Files[i].FileName);
    fclose(f);
  }
  return Answer("FAKE_MAPI_SEND");
}

ULONG WINAPI MAPILogoff(ULONG_PTR session, ULONG_PTR ui, ULONG flags, ULONG reserved) {
  FILE* f = Log();
  if (f) {
    fprintf(f, "logoff\n");
    fclose(f);
  }
  return 0;
}
