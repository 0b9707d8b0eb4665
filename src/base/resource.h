// Resource ids shared by launcher.rc, the code and the tests: every id is
// named here once.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_MAIN_DIALOG 129
#define IDD_LAYER_DIALOG 220
#define IDB_BACKGROUND 253


// The message catalogue: one string table per interface language.
#define IDS_UPDATE                   128
#define IDS_CAPTION                  130
#define IDS_GETTING_SERVER_LIST      131
#define IDS_GAME_RUNNING             132
#define IDS_PROMPT                   133
#define IDS_DOWNLOADER_RUNNING       134
#define IDS_LAUNCHER_NOT_EXITED      135
#define IDS_UPDATE_COMPLETE          259
#define IDS_CHECK                    260
#define IDS_MERGE_VERSION            261
#define IDS_DONT_QUIT                262
#define IDS_LOCAL_VERSION            263
#define IDS_COMPARING_VERSIONS       264
#define IDS_MERGING_VERSION          266
#define IDS_CHECKING_FILES           267
#define IDS_ZONE_VERSION_DIFFERS     268
#define IDS_COMPONENT_MISSING        270
#define IDS_UNZIP_ERROR              271
#define IDS_FIRST_START_HIGHEST      272
#define IDS_FIRST_START_HIGH         273
#define IDS_FIRST_START_MIDDLE       274
#define IDS_FIRST_START_LOW          275
#define IDS_FIRST_START_CAPTION      276
#define IDS_START_FAILED             277
#define IDS_VERSION_TOO_OLD          278
#define IDS_UPDATE_COMPLETE_VERSION  279
#define IDS_CAPTION_VERSION          280
#define IDS_SERVER_LIST_RETRYING     281
#define IDS_UPDATE_ERROR             282
#define IDS_SERVER_LIST_FAILED       283
#define IDS_VERSION_INFO_ERROR       284
#define IDS_SAVE_ERROR               285
#define IDS_CHECK_FAILED             286
#define IDS_UPDATE_NETWORK_ERROR     287
#define IDS_MOVE_DENIED              289
#define IDS_UNCOMPRESS_ERROR         290
#define IDS_ERROR                    291
#define IDS_UPDATE_TOTAL             292
#define IDS_PACKAGES_MISSING         293
#define IDS_RUN_GAME                 294
#define IDS_GRAPHICS_CHECK_FAILED    295
#define IDS_OFFER_UPDATE_TOO_OLD     300
#define IDS_OFFER_UPDATE_MISSING     301
#define IDS_READY                    57345
#define IDS_FRAMEWORK_NEW            57600
#define IDS_FRAMEWORK_OPEN           57601
#define IDS_FRAMEWORK_CLOSE          57602
#define IDS_FRAMEWORK_SAVE           57603
#define IDS_FRAMEWORK_ABOUT          57664
#define IDS_FRAMEWORK_EXIT           57665
