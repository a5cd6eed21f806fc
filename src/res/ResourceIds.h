/* Resource numbers of Kestrelle other than strings (those are in StringIds.h). Read by windres
   (Kestrelle.rc) and by C++ code alike, so this file holds plain #defines only. The numbers are
   fixed: templates, icon and accelerators are looked up by them, and the control ids of the
   three profile panels follow the layout of the main dialog rather than a pattern. */
#ifndef KESTRELLE_RES_RESOURCEIDS_H
#define KESTRELLE_RES_RESOURCEIDS_H

/* Dialog templates, icon, accelerator table. */
#define IDD_ABOUT                       100
#define IDD_MAIN                        129
#define IDI_KESTRELLE                   128
#define IDR_ACCELERATORS                128

/* Frame of the main dialog. */
#define IDC_STATUS                      1011
#define IDC_PROGRESS                    1012
#define IDC_CANCEL_JOB                  1014
#define ID_APP_ABOUT                    57664

/* Edit commands produced by the accelerator table. */
#define ID_EDIT_COPY                    57634
#define ID_EDIT_CUT                     57635
#define ID_EDIT_PASTE                   57637
#define ID_EDIT_SELECT_ALL              57642
#define ID_EDIT_UNDO                    57643
#define ID_EDIT_DESELECT                32776

/* Item of the main window's system menu: system commands are below 0xF000 and multiples of 16. */
#define ID_SENDTO_MENU                  32784

/* Profile panel 1. */
#define IDC_USE1                        1004
#define IDC_METHOD1                     1031
#define IDC_WIDTH1                      1033
#define IDC_HEIGHT1                     1034
#define IDC_FOLDER1                     1000
#define IDC_BROWSE1                     1001
#define IDC_OPEN_FOLDER1                1003
#define IDC_PREFIX1                     1002
#define IDC_PNG1                        1007
#define IDC_JPEG1                       1008
#define IDC_QUALITY1                    1010
#define IDC_BACKGROUND1                 1030
#define IDC_COLOR_BUTTON1               1032
#define IDC_COLOR_TEXT1                 1024

/* Profile panel 2. */
#define IDC_USE2                        1005
#define IDC_METHOD2                     1035
#define IDC_WIDTH2                      1036
#define IDC_HEIGHT2                     1037
#define IDC_FOLDER2                     1006
#define IDC_BROWSE2                     1009
#define IDC_OPEN_FOLDER2                1013
#define IDC_PREFIX2                     1015
#define IDC_PNG2                        1016
#define IDC_JPEG2                       1017
#define IDC_QUALITY2                    1018
#define IDC_BACKGROUND2                 1038
#define IDC_COLOR_BUTTON2               1039
#define IDC_COLOR_TEXT2                 1025

/* Profile panel 3. */
#define IDC_USE3                        1019
#define IDC_METHOD3                     1040
#define IDC_WIDTH3                      1041
#define IDC_HEIGHT3                     1042
#define IDC_FOLDER3                     1020
#define IDC_BROWSE3                     1021
#define IDC_OPEN_FOLDER3                1022
#define IDC_PREFIX3                     1023
#define IDC_PNG3                        1026
#define IDC_JPEG3                       1027
#define IDC_QUALITY3                    1028
#define IDC_BACKGROUND3                 1043
#define IDC_COLOR_BUTTON3               1044
#define IDC_COLOR_TEXT3                 1029

/* Controls added to the panels later, from 1045 on, three numbers a kind (panels 1, 2, 3). */
#define IDC_WEBP1                       1045
#define IDC_WEBP2                       1046
#define IDC_WEBP3                       1047
#define IDC_MAX_KB1                     1048
#define IDC_MAX_KB2                     1049
#define IDC_MAX_KB3                     1050
#define IDC_KEEP_DATE1                  1051
#define IDC_KEEP_DATE2                  1052
#define IDC_KEEP_DATE3                  1053

/* About box: the home-page link, the name and version (filled at run time from res/Version.h)
   and the link to the libraries' licences beside the program. 1000 to 1002 are also panel 1's
   controls; the two never share a dialog. */
#define IDC_HOME_LINK                   1000
#define IDC_ABOUT_TEXT                  1001
#define IDC_NOTICES_LINK                1002

#endif /* KESTRELLE_RES_RESOURCEIDS_H */
