// Resource and command identifiers, one range per window. Plain #defines so that both
// windres and rc.exe read this file; the end-to-end tests post these command ids.
#ifndef QSOPAD_RESOURCE_H
#define QSOPAD_RESOURCE_H

// Main window: menus and accelerators.
#define IDR_MAINMENU 100
#define IDR_CONTEXTMENU 101
#define IDR_ACCEL 102
#define IDR_ACCEL_RETRO 103
#define IDI_QSOPAD 104

// Main window controls.
#define IDC_TEXT1 110
#define IDC_COMMAND1 111
#define IDC_COMMAND2 112
#define IDC_COMMAND3 113
#define IDC_COMMAND4 114
#define IDC_COMMAND5 115
#define IDC_COMMAND6 116
#define IDC_STATUSBAR1 117

// Main window menu commands: the menu bar's items lie in IDM_MENUBAR_FIRST..LAST, the
// typing area's context menu in IDM_CONTEXT_FIRST..LAST.
#define IDM_MENUBAR_FIRST 1000
#define IDM_MENUBAR_LAST 1699
#define IDM_CONTEXT_FIRST 1700
#define IDM_CONTEXT_LAST 1799
#define IDM_EXIT 1001
#define IDM_COPY 1101
#define IDM_PASTE 1102
#define IDM_CALL 1201
#define IDM_XSERIAL 1202
#define IDM_XFILE 1203
#define IDM_XTIME 1204
#define IDM_XRPT 1205
#define IDM_CLEAR 1206
#define IDM_FULLSTOP 1207
// The PSK31 program's function keys F1..F8: IDM_PSK_1 + n - 1 (and IDM_PSKA_ with "Retro").
#define IDM_PSK_1 1301
#define IDM_PSK_2 1302
#define IDM_PSK_3 1303
#define IDM_PSK_4 1304
#define IDM_PSK_5 1305
#define IDM_PSK_6 1306
#define IDM_PSK_7 1307
#define IDM_PSK_8 1308
#define IDM_SETRX 1310
#define IDM_FREQPLUS 1311
#define IDM_FREQMINUS 1312
#define IDM_PSKA_1 1401
#define IDM_PSKA_2 1402
#define IDM_PSKA_3 1403
#define IDM_PSKA_4 1404
#define IDM_PSKA_5 1405
#define IDM_PSKA_6 1406
#define IDM_PSKA_7 1407
#define IDM_PSKA_8 1408
#define IDM_SETRXA 1410
#define IDM_FREQPLUSA 1411
#define IDM_FREQMINUSA 1412
#define IDM_SETSERIAL 1501
#define IDM_INCR 1502
#define IDM_LOG 1503
#define IDM_MPAL 1504
#define IDM_FINDWIN 1505
#define IDM_SAVEWIN 1506
#define IDM_OPTIONS 1507
#define IDM_MANUAL 1601
#define IDM_ABOUT 1602
#define IDM_HOMEPAGE 1603
#define IDM_EMAIL 1604
#define IDM_COPY1 1701
#define IDM_PASTE1 1702
#define IDM_XTIME1 1703

// Macro palette controls.
#define IDC_MPAL_LIST1 501
#define IDC_MPAL_LABEL1 502
#define IDC_MPAL_TEXT1 503
#define IDC_MPAL_COMMAND1 504
#define IDC_MPAL_COMMAND2 505
#define IDC_MPAL_CHECK1 506
#define IDC_MPAL_CHECK2 507

// Call sign window controls (OK and Cancel are IDOK and IDCANCEL).
#define IDC_CSF_LABEL1 601
#define IDC_CSF_CALLSIGN 602
#define IDC_CSF_LABEL2 603
#define IDC_CSF_NAMEFIELD 604
#define IDC_CSF_COMMAND1 605
#define IDC_CSF_COMMAND2 606
#define IDC_CSF_COMMAND3 607
#define IDC_CSF_COMMAND4 608
#define IDC_CSF_CHECK1 611
#define IDC_CSF_CHECK2 612
#define IDC_CSF_CHECK3 613
#define IDC_CSF_CHECK4 614
#define IDC_CSF_CHECK5 615

// Lookup source dialog.
#define IDD_LURL 700
#define IDC_LURL_LABEL1 701
#define IDC_LURL_TEXT1 702
#define IDC_LURL_LABEL2 703
#define IDC_LURL_LIST1 704

// Log entry window: its menu bar and controls (OK and Cancel are IDOK and IDCANCEL).
#define IDR_LOGMENU 800
#define IDM_LOG_REFRESH 801
#define IDM_LOG_TIME 802
#define IDC_LOG_LIST1 811
#define IDC_LOG_TEXT1 812
#define IDC_LOG_LABEL1 813

// Options dialog: the tab strip, the five pages' frames and controls, the bottom buttons
// (OK and Cancel are IDOK and IDCANCEL). Check n is IDC_OPT_CHECK1 + n - 1, Macro(n) is
// IDC_OPT_MACRO0 + n and its "F" label IDC_OPT_FLABEL0 + n.
#define IDC_OPT_TABS 3000
#define IDC_OPT_FRAME0 3001
#define IDC_OPT_FRAME1 3002
#define IDC_OPT_FRAME2 3003
#define IDC_OPT_FRAME3 3004
#define IDC_OPT_FRAME4 3005
#define IDC_OPT_APPLY 3006
#define IDC_OPT_PATH 3010
#define IDC_OPT_COMMAND2 3011
#define IDC_OPT_LDELAY 3012
#define IDC_OPT_GMT 3013
#define IDC_OPT_TZONE 3014
#define IDC_OPT_CALLSIGN 3015
#define IDC_OPT_RXCHAR 3016
#define IDC_OPT_AUXPATH 3017
#define IDC_OPT_COMMAND4 3018
#define IDC_OPT_LABEL26 3019
#define IDC_OPT_COMMAND1 3020
#define IDC_OPT_COMMAND3 3021
#define IDC_OPT_COMMAND6 3022
#define IDC_OPT_COMMAND5 3023
#define IDC_OPT_LABEL_FIRST 3024
#define IDC_OPT_CHECK1 3040
#define IDC_OPT_MACRO0 3060
#define IDC_OPT_FLABEL0 3080
#define IDC_OPT_HELP2 3100
#define IDC_OPT_HELP3 3101
#define IDC_OPT_ADIFEN 3110
#define IDC_OPT_ADIFFILE 3111
#define IDC_OPT_COMMAND7 3112
#define IDC_OPT_ADIFLIST 3113
#define IDC_OPT_ADIFFIELDEN 3114
#define IDC_OPT_ADIFTAG 3115
#define IDC_OPT_ADIFCONTENT 3116
#define IDC_OPT_COMMAND8 3117
#define IDC_OPT_COMMAND9 3118
#define IDC_OPT_LOGLABEL_FIRST 3119
#define IDC_OPT_STATION 3140
#define IDC_OPT_FLDIGIADDRESS 3141
#define IDC_OPT_FLDIGIPORT 3142

// About box.
#define IDD_ABOUT 300
#define IDC_ABOUT_TITLE 301
#define IDC_ABOUT_VERSION 302
#define IDC_ABOUT_TEXT 303

// Input box.
#define IDD_INPUTBOX 400
#define IDC_INPUT_PROMPT 401
#define IDC_INPUT_EDIT 402

// Version resource values.
#define QSOPAD_VERSION_NUMBERS 0, 1, 0, 0
#define QSOPAD_VERSION_TEXT "0.1.0"

#endif
