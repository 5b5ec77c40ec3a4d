// Identifiers shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_LIVEUPDATE_DIALOG 102
#define IDR_MAINFRAME 127
#define IDB_SIDE_PICTURE_TEMPLATE 129
#define IDD_NOTICE 130
#define IDD_WELCOME 131
#define IDD_CHECKVERSION 132
#define IDD_NEWVERSION 133
#define IDD_DOWNLOAD 134
#define IDD_FINISH 135
#define IDB_SIDE_PICTURE 139
// Package trust, embedded by the build when it is configured with them
// (RCDATA): the publisher's public key (PEM) and the pinned signer
// certificates' SHA-256 thumbprints (hex, separated by ";").
#define IDR_PUBLISHER_KEY 140
#define IDR_PINNED_SIGNERS 141

// Frame
#define IDC_NEXT 1000
#define IDC_CANCEL_WIZARD 1001
#define IDC_SIDE_PICTURE 1002
#define IDC_SEPARATOR 1003
#define IDC_PAGE_AREA 1013
// Finish page
#define IDC_RESULT_TEXT 1008
#define IDC_RESULT_HEADING 1022
// Close-client dialog
#define IDC_RETRY 1011
#define IDC_NOTICE_TEXT 1012
// Welcome page
#define IDC_CLIENT_LINE 1014
// CheckVersion page
#define IDC_CHECK_PROGRESS 1015
// NewVersion page
#define IDC_VERSION_LINE 1016
#define IDC_DESCRIPTION 1017
// Download page
#define IDC_DOWNLOAD_PROGRESS 1018
#define IDC_PACKAGE_LINE 1019
#define IDC_DOWNLOAD_HEADING 1020
#define IDC_MANUAL_LINK 1021
#define IDC_DOWNLOAD_STATUS 1023

// System menu command of the about box
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
