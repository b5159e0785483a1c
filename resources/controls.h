// Control ids of KESTREL's dialogs, shared by the templates, the dialog code and the test driver.
#pragma once

// ---- DIALOG_MAIN ----
#define IDC_SOURCES 1001        // folders or files to copy
#define IDC_CLEAR_SOURCES 1002  // "消去"
#define IDC_DEST 1003           // destination, with history
#define IDC_BROWSE_DEST 1004    // "参照"
#define IDC_TCF 1005            // file patterns to copy
#define IDC_TCD 1006            // folder patterns to copy
#define IDC_TUF 1007            // file patterns not to copy
#define IDC_TUD 1008            // folder patterns not to copy
#define IDC_FOLDER_FIRST 1009   // 1009–1017: folder categories to copy, in category order
#define IDC_FILE_FIRST 1019     // 1019–1027: file categories to copy
#define IDC_OVERWRITE_FIRST 1029 // 1029–1037: destination file categories that may be overwritten
#define IDC_SKIP_NOT_NEWER 1039 // MODE bit 28
#define IDC_SKIP_SAME_SIZE 1040 // MODE bit 27
#define IDC_LOG_LEVEL_STEP 1041 // steps the log level
#define IDC_LOG_LEVEL 1042      // the log level text
#define IDC_CLEAR_ARCHIVE 1043  // CONF bit 1
#define IDC_CHECK_MISSING 1044  // CONF bit 3
#define IDC_PROGRESS 1045       // progress line, written only by the worker
#define IDC_START 1046          // start button; the stop button during a run

// ---- DIALOG_MKSCRIPT ----
#define IDC_SCRIPT_NAME 1047    // the script's name, without ".kjb"

// ---- DIALOG_LOG and DIALOG_SYNC (the viewers) ----
// Each holds one rich-edit control and a hidden default OK button (IDOK) that takes the focus.
#define IDC_LOG_VIEW 1048     // DIALOG_LOG: the log document
#define IDC_MISSING_VIEW 1049 // DIALOG_SYNC: the missing-files document, read-only
#define IDM_MAKEBATCH 1052    // DIALOG_SYNC's system-menu command "バッチファイルの作成(&B)"
#define IDM_SAVELOG 1054      // both viewers' system-menu command "保存(&S)", at the top
