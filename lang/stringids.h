/* String identifiers of the language libraries (cvresen.dll, cvresru.dll).
   Plain preprocessor only: included by the .rc files and by C++ code.
   Winsock error texts are not listed here: each lives under the id equal
   to its WSA error number (10004 ... 11004). */
#ifndef CORVID_LANG_STRINGIDS_H
#define CORVID_LANG_STRINGIDS_H

/* Shell */
#define IDS_SETTINGS_KEY_FAILED     1   /* the registry key path is appended: ends with ": " */
#define IDS_SETTINGS_VALUE_FAILED   2   /* printf format, %s = registry value name */
#define IDS_WINSOCK_UNAVAILABLE     3
#define IDS_PROTOCOL_ENUM_FAILED    4
#define IDS_OUT_OF_MEMORY           5
#define IDS_NT_TOO_OLD              6
#define IDS_PLATFORM_UNSUPPORTED    7
#define IDS_9X_TOO_OLD              8
#define IDS_NO_TARGET               9
#define IDS_CANCEL                  27  /* button text */
#define IDS_PASSWORD_CAPTION        33  /* HostText is appended: ends with a blank */
#define IDS_PASSWORD_LABEL          34

/* Network. Ids 20..31 are used as the middle part of a network error
   text: "<protocol>: " + text [+ " <code> - " + Winsock error text],
   so they carry no printf conversions. */
#define IDS_NO_STREAM_PROVIDER      20
#define IDS_SOCKET_CREATE_FAILED    21
#define IDS_NET_ERROR_UNKNOWN       22  /* stands in for a missing Winsock error text */
#define IDS_RCVBUF_FAILED           23
#define IDS_BIND_FAILED             24
#define IDS_NODELAY_FAILED          25
#define IDS_CONNECTING_TO           26  /* HostText is appended: ends with a blank */
#define IDS_CONNECT_FAILED          28
#define IDS_CONNECTION_LOST         29
#define IDS_SEND_FAILED             30
#define IDS_RECEIVE_FAILED          31
#define IDS_UNKNOWN_REQUEST         32  /* appended directly after 31: starts with a blank */

#endif
