// Resource ids of downloader.rc, the code and the tests: every id is named
// here once. The texts have ids of their own, apart from the launcher's.
#pragma once

#define IDR_DOWNLOADER_ICON 1

#define IDS_DL_TITLE               600
#define IDS_DL_LOOKING             601
#define IDS_DL_FETCHING            602
#define IDS_DL_BYTES               603
#define IDS_DL_SPEED               604
#define IDS_DL_LEFT_MINUTES        605
#define IDS_DL_LEFT_SECONDS        606
#define IDS_DL_CANCEL              607
#define IDS_DL_RETRY               608
#define IDS_DL_CLOSE               609
#define IDS_DL_CLOSE_IN            610
#define IDS_DL_STOPPING            611
#define IDS_DL_UP_TO_DATE          612
#define IDS_DL_UPDATED             613
#define IDS_DL_CANCELLED           614
#define IDS_DL_FAIL_UNREACHABLE    620
#define IDS_DL_FAIL_HTTP           621
#define IDS_DL_FAIL_NOT_PACKAGE    622
#define IDS_DL_FAIL_UNSAFE         623
#define IDS_DL_FAIL_DAMAGED        624
#define IDS_DL_FAIL_DISK           625
#define IDS_DL_FAIL_INDEX_UNREADABLE 626
#define IDS_DL_FAIL_INDEX_OLDER    627
#define IDS_DL_FAIL_INDEX_EXPIRED  628
#define IDS_DL_FAIL_FULL_CLIENT    629
#define IDS_DL_FAIL_MOVE           630
#define IDS_DL_FAIL_VERSION        631
#define IDS_DL_FAIL_GAME_RUNS      632
#define IDS_DL_FAIL_LAUNCHER_RUNS  633
#define IDS_DL_FAIL_ANOTHER_RUNS   634
#define IDS_DL_FAIL_SERVER_BUSY    635
#define IDS_DL_FAIL_WRITE          636
#define IDS_DL_FAIL_NOT_SIGNED     637
#define IDS_DL_FAIL_KEYS           638
#define IDS_DL_NOT_PUBLISHED       639
#define IDS_DL_STARTING_GAME       640
#define IDS_DL_FAIL_START_LAUNCHER 641
#define IDS_DL_FAIL_PROGRAM        642
