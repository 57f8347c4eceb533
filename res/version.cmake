# The version block's texts, kept here once: the Windows version resource, the desktop entry and
# the AppStream metadata are all made from them. Needs the project's version set.
set(QZX_VERSION_COMMENTS
    "翠鸮文件之哨 - 文件事件监控软件Ver${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
set(QZX_VERSION_FILE_DESCRIPTION "翠鸮文件事件监控软件")
set(QZX_VERSION_INTERNAL_NAME "翠鸮文件之哨")
set(QZX_VERSION_ORIGINAL_FILENAME "QzxFile.EXE")
set(QZX_VERSION_PRODUCT_NAME "QzxFile 应用程序")
# qzxwatch.exe's own entries of the same block.
set(QZX_WATCH_FILE_DESCRIPTION "翠鸮文件事件监控软件 (命令行)")
set(QZX_WATCH_INTERNAL_NAME "qzxwatch")
set(QZX_WATCH_ORIGINAL_FILENAME "qzxwatch.exe")
# Chinese (PRC) with the Unicode code page: language 0x0804, code page 1200.
set(QZX_VERSION_LANGUAGE "0x0804")
set(QZX_VERSION_CODEPAGE "1200")
set(QZX_VERSION_NUMBERS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
# The same four numbers as the manifest's assembly identity writes them.
set(QZX_VERSION_DOTTED
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

# The Debian package's own revision of this version: 1.2.0-1 is the first package of 1.2.0;
# 1.2.0-2 splits it into qzxwatch and qzxfile. The day a revision is made heads its change log.
set(QZX_DEB_REVISION 2)
set(QZX_DEB_DATE "2026-12-10")

# Desktop integration: the reverse-DNS name of the desktop entry and the AppStream component.
set(QZX_APP_ID "com.example.QzxFile")
# Day the current version is released, for the AppStream release entry; moves with the version.
set(QZX_RELEASE_DATE "2026-12-08")
