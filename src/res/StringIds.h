/* String-table numbers of Kestrelle. Read by windres (Strings.rc) and by C++ code alike, so this
   file holds plain #defines only. The numbers are fixed: the registry root is built from 201 and
   202, and message boxes pick their captions by number (129, 130). */
#ifndef KESTRELLE_RES_STRINGIDS_H
#define KESTRELLE_RES_STRINGIDS_H

/* Message box captions: 129 with the error icon, 130 otherwise. */
#define IDS_CAPTION_ERROR               129
#define IDS_CAPTION_CONFIRM             130

/* JPEG quality levels, lowest to highest (values 0, 30, 50, 80, 100). */
#define IDS_QUALITY_LOWEST              139
#define IDS_QUALITY_LOW                 140
#define IDS_QUALITY_MEDIUM              141
#define IDS_QUALITY_HIGH                142
#define IDS_QUALITY_HIGHEST             143

/* Job: overwrite question and status line. */
#define IDS_ASK_OVERWRITE               151
#define IDS_STATUS_FINISHED             165
#define IDS_STATUS_PROGRESS             166
#define IDS_STATUS_LISTING              167
#define IDS_STATUS_ABORTED              170

/* Shrink methods; 182 is formatted with the preset side twice. */
#define IDS_SHRINK_NONE                 180
#define IDS_SHRINK_CUSTOM               181
#define IDS_SHRINK_PRESET               182
/* Title of the folder chooser. */
#define IDS_BROWSE_FOLDER_TITLE         183
/* The system-menu item's text: add the Send To shortcut, or remove it once it exists. */
#define IDS_MENU_SENDTO_ADD             190
#define IDS_MENU_SENDTO_REMOVE          191

/* Registry root: Software\<maker>\<product>32. */
#define IDS_MAKER                       201
#define IDS_PRODUCT                     202

/* Named background colours. */
#define IDS_COLOR_WHITE                 203
#define IDS_COLOR_BLACK                 204
#define IDS_COLOR_GRAY50                205
#define IDS_COLOR_RED                   206
#define IDS_COLOR_PINK                  207
#define IDS_COLOR_BLUE                  208
#define IDS_COLOR_LIGHT_BLUE            209
#define IDS_COLOR_YELLOW                210
#define IDS_COLOR_ORANGE                211
#define IDS_COLOR_GREEN                 212
#define IDS_COLOR_YELLOW_GREEN          213
#define IDS_COLOR_BROWN                 214

/* Messages of the profile panels. */
#define IDS_MSG_COMBO_VALUE_FAILED      1000
#define IDS_MSG_VALUE_NOT_POSITIVE      1001
#define IDS_MSG_NO_SHRINK_METHOD        1002
#define IDS_MSG_FOLDER_EMPTY            1003
#define IDS_MSG_OPEN_FOLDER_FAILED      1004

/* Messages of the drop target. */
#define IDS_MSG_DROP_WHILE_RUNNING      1005
#define IDS_MSG_DROP_NO_DATA            1006
#define IDS_MSG_DROP_UNSUPPORTED        1007
/* An item without a file of its own could not be read or exceeded a limit; "%s" names it. */
#define IDS_MSG_DROP_CONTENTS_FAILED    1040
/* An item without a file of its own whose name is longer than a file's name may be; "%s" names it. */
#define IDS_MSG_DROP_NAME_TOO_LONG      1046

/* Messages of a job start. */
#define IDS_MSG_DELETE_FAILED           1008
#define IDS_MSG_FILE_NOT_FOUND          1009
/* An output of the job would be one of the dropped files themselves. */
#define IDS_MSG_OUTPUT_IS_SOURCE        1010
#define IDS_MSG_SAVE_SETTINGS_FAILED    1020

/* Messages of a drop onto a folder field. */
#define IDS_MSG_FOLDER_DROP_MULTIPLE    1021
#define IDS_MSG_FOLDER_DROP_NONE        1022
#define IDS_MSG_FOLDER_DROP_NOT_FOLDER  1023

#define IDS_MSG_NO_FILE_NAME            1024
#define IDS_MSG_PROFILE_CONFLICT        1025

/* Errors recorded by a shrink task; "%s" takes the system text of the failure code. */
#define IDS_MSG_LOAD_FAILED             1026
/* The reason 1026 gives, instead of a system text, for a file that no decoder could read. */
#define IDS_MSG_PICTURE_UNREADABLE      1045
#define IDS_MSG_CREATE_FOLDER_FAILED    1027
#define IDS_MSG_SAVE_FAILED             1028
#define IDS_MSG_CREATE_SAVER_FAILED     1029
#define IDS_MSG_RESIZE_FAILED           1030
#define IDS_MSG_SIZE_NOT_POSITIVE       1031
#define IDS_MSG_UNKNOWN_SHRINK          1032
#define IDS_MSG_BACKGROUND_FAILED       1033
/* The output cannot be made to fit its profile's size limit, not even at 16 pixels: "%d" the
   limit in kilobytes; the task adds the source's path. */
#define IDS_MSG_OVER_SIZE_LIMIT         1048

/* Refusals of a job start that guard the user's files; 1037 names two sources and their output. */
#define IDS_MSG_NO_PROFILE_ENABLED      1034
#define IDS_MSG_PREFIX_FORBIDDEN        1035
#define IDS_MSG_OUTPUT_NAME_INVALID     1036
#define IDS_MSG_OUTPUTS_COLLIDE         1037
/* A file took an output's name after the job started; the task leaves it as it is. */
#define IDS_MSG_OUTPUT_APPEARED         1038
/* A dropped folder in which the job start found no picture (1009 is for a path where nothing is). */
#define IDS_MSG_FOLDER_HAS_NO_PICTURES  1039
/* An output or a folder the start would write or delete in that lies outside its profile's folder
   once its path is resolved: "%d" the profile, then "%s" its folder and "%s" the path. */
#define IDS_MSG_OUTPUT_OUTSIDE_FOLDER   1043
/* A folder of a dropped tree that could not be opened or read to its end: "%s" the folder, then
   "%s" the system's text of the failure. */
#define IDS_MSG_FOLDER_UNREADABLE       1044
/* An enabled profile without a folder, as the command line words it: "%d" the profile. The
   dialog's panels word it with the field's id (1003). */
#define IDS_MSG_PROFILE_FOLDER_EMPTY    1047

/* The Send To shortcut could not be written or removed; "%s" takes its path, then the system's
   text of the failure. */
#define IDS_MSG_SENDTO_FAILED           1041
#define IDS_MSG_SENDTO_REMOVE_FAILED    1042

#endif /* KESTRELLE_RES_STRINGIDS_H */
