#!/usr/bin/env python3
"""How the ignore rules fare on .gitignore files as users paste them.

A selection of the kinds of template users keep (languages, build tools, editors, operating
systems), written here from general knowledge of what such files hold, is set against
`git check-ignore --no-index` on a tree of typical project paths:

  lines accepted          distinct lines the program takes as the user's own list
  lines decided as git    of the accepted ones, those that, alone in a list, ignore exactly the
                          paths git ignores with that line alone
  whole templates agree   templates for which every path is decided as git decides it

Usage: bench/ignore_templates.py BUILD_DIR   (needs BUILD_DIR/bench/ignore_check and git)
"""
import os
import subprocess
import sys
import tempfile

TEMPLATES = {
    "python": """
# Byte-compiled / optimized files
__pycache__/
*.py[cod]
*$py.class
*.so
.Python
build/
develop-eggs/
dist/
downloads/
eggs/
.eggs/
lib/
lib64/
parts/
sdist/
var/
wheels/
*.egg-info/
.installed.cfg
*.egg
MANIFEST
pip-log.txt
pip-delete-this-directory.txt
htmlcov/
.tox/
.nox/
.coverage
.coverage.*
.cache
nosetests.xml
coverage.xml
*.cover
.hypothesis/
.pytest_cache/
*.mo
*.pot
instance/
.webassets-cache
.scrapy
docs/_build/
target/
.ipynb_checkpoints
.python-version
celerybeat-schedule
*.sage.py
.env
.venv
env/
venv/
ENV/
env.bak/
venv.bak/
.spyderproject
.spyproject
.ropeproject
/site
.mypy_cache/
.dmypy.json
dmypy.json
.pyre/
""",
    "node": """
logs
*.log
npm-debug.log*
yarn-debug.log*
yarn-error.log*
lerna-debug.log*
report.[0-9]*.[0-9]*.[0-9]*.[0-9]*.json
pids
*.pid
*.seed
*.pid.lock
lib-cov
coverage
*.lcov
.nyc_output
.grunt
bower_components
.lock-wscript
build/Release
node_modules/
jspm_packages/
web_modules/
*.tsbuildinfo
.npm
.eslintcache
.stylelintcache
.node_repl_history
*.tgz
.yarn-integrity
.env
.env.development.local
.env.test.local
.env.production.local
.env.local
.cache
.parcel-cache
.next
out
.nuxt
dist
.vuepress/dist
.serverless/
.fusebox/
.dynamodb/
.tern-port
.vscode-test
.yarn/cache
.yarn/unplugged
.yarn/build-state.yml
.yarn/install-state.gz
.pnp.*
""",
    "java": """
*.class
*.log
*.ctxt
.mtj.tmp/
*.jar
*.war
*.nar
*.ear
*.zip
*.tar.gz
*.rar
hs_err_pid*
replay_pid*
""",
    "maven": """
target/
pom.xml.tag
pom.xml.releaseBackup
pom.xml.versionsBackup
pom.xml.next
release.properties
dependency-reduced-pom.xml
buildNumber.properties
.mvn/timing.properties
.mvn/wrapper/maven-wrapper.jar
.project
.classpath
""",
    "gradle": """
.gradle
**/build/
!src/**/build/
gradle-app.setting
!gradle-wrapper.jar
!gradle-wrapper.properties
.gradletasknamecache
""",
    "c-cpp": """
# Prerequisites
*.d
*.o
*.ko
*.obj
*.elf
*.ilk
*.map
*.exp
*.gch
*.pch
*.lib
*.a
*.la
*.lo
*.dll
*.so
*.so.*
*.dylib
*.exe
*.out
*.app
*.i*86
*.x86_64
*.hex
*.dSYM/
*.su
*.idb
*.pdb
*.mod*
*.cmd
.tmp_versions/
modules.order
Module.symvers
Mkfile.old
dkms.conf
""",
    "cmake": """
CMakeLists.txt.user
CMakeCache.txt
CMakeFiles
CMakeScripts
Testing
Makefile
cmake_install.cmake
install_manifest.txt
compile_commands.json
CTestTestfile.cmake
_deps
CMakeUserPresets.json
""",
    "go": """
*.exe
*.exe~
*.dll
*.so
*.dylib
*.test
*.out
go.work
go.work.sum
vendor/
""",
    "rust": """
debug/
target/
Cargo.lock
**/*.rs.bk
*.pdb
""",
    "jetbrains": """
.idea/**/workspace.xml
.idea/**/tasks.xml
.idea/**/usage.statistics.xml
.idea/**/dictionaries
.idea/**/shelf
.idea/**/aws.xml
.idea/**/contentModel.xml
.idea/**/dataSources/
.idea/**/dataSources.ids
.idea/**/dataSources.local.xml
.idea/**/sqlDataSources.xml
.idea/**/dynamic.xml
.idea/**/uiDesigner.xml
.idea/**/dbnavigator.xml
.idea/**/gradle.xml
.idea/**/libraries
cmake-build-*/
.idea/**/mongoSettings.xml
*.iws
out/
.idea_modules/
atlassian-ide-plugin.xml
.idea/replstate.xml
.idea/sonarlint/
com_crashlytics_export_strings.xml
crashlytics.properties
crashlytics-build.properties
fabric.properties
.idea/httpRequests
.idea/caches/build_file_checksums.ser
""",
    "vscode": """
.vscode/*
!.vscode/settings.json
!.vscode/tasks.json
!.vscode/launch.json
!.vscode/extensions.json
!.vscode/*.code-snippets
.history/
*.vsix
""",
    "vim": """
# Swap
[._]*.s[a-v][a-z]
!*.svg
[._]*.sw[a-p]
[._]s[a-rt-v][a-z]
[._]ss[a-gi-z]
[._]sw[a-p]
Session.vim
Sessionx.vim
.netrwhist
*~
tags
[._]*.un~
""",
    "emacs": """
*~
\\#*\\#
/.emacs.desktop
/.emacs.desktop.lock
*.elc
auto-save-list
tramp
.\\#*
.org-id-locations
*_archive
*_flymake.*
/eshell/history
/eshell/lastdir
/elpa/
*.rel
/auto/
.cask/
dist/
flycheck_*.el
/server/
.projectile
.dir-locals.el
/network-security.data
""",
    "macos": """
.DS_Store
.AppleDouble
.LSOverride
Icon[\\r]
._*
.DocumentRevisions-V100
.fseventsd
.Spotlight-V100
.TemporaryItems
.Trashes
.VolumeIcon.icns
.com.apple.timemachine.donotpresent
.AppleDB
.AppleDesktop
Network Trash Folder
Temporary Items
.apdisk
""",
    "windows": """
Thumbs.db
Thumbs.db:encryptable
ehthumbs.db
ehthumbs_vista.db
*.stackdump
[Dd]esktop.ini
$RECYCLE.BIN/
*.cab
*.msi
*.msix
*.msm
*.msp
*.lnk
""",
    "linux": """
*~
.fuse_hidden*
.directory
.Trash-*
.nfs*
""",
    "visualstudio": """
*.rsuser
*.suo
*.user
*.userosscache
*.sln.docstates
*.userprefs
mono_crash.*
[Dd]ebug/
[Dd]ebugPublic/
[Rr]elease/
[Rr]eleases/
x64/
x86/
[Ww][Ii][Nn]32/
[Aa][Rr][Mm]/
[Aa][Rr][Mm]64/
bld/
[Bb]in/
[Oo]bj/
[Ll]og/
[Ll]ogs/
.vs/
Generated\\ Files/
[Tt]est[Rr]esult*/
[Bb]uild[Ll]og.*
*.VisualState.xml
TestResult.xml
nunit-*.xml
[Dd]ebugPS/
[Rr]eleasePS/
dlldata.c
BenchmarkDotNet.Artifacts/
project.lock.json
project.fragment.lock.json
artifacts/
*_i.c
*_p.c
*_h.h
*.ilk
*.meta
*.obj
*.iobj
*.pch
*.pdb
*.ipdb
*.pgc
*.pgd
*.rsp
*.sbr
*.tlb
*.tli
*.tlh
*.tmp
*.tmp_proj
*_wpftmp.csproj
*.log
*.tlog
*.vspscc
*.vssscc
.builds
*.pidb
*.svclog
*.scc
_Chutzpah*
ipch/
*.aps
*.ncb
*.opendb
*.opensdf
*.sdf
*.cachefile
*.VC.db
*.VC.VC.opendb
*.psess
*.vsp
*.vspx
*.sap
*.e2e
$tf/
*.gpState
_ReSharper*/
*.[Rr]e[Ss]harper
*.DotSettings.user
_TeamCity*
*.dotCover
.axoCover/*
!.axoCover/settings.json
*.coverage
*.coveragexml
_NCrunch_*
.*crunch*.local.xml
nCrunchTemp_*
*.mm.*
AutoTest.Net/
.sass-cache/
[Ee]xpress/
DocProject/buildhelp/
DocProject/Help/*.HxT
DocProject/Help/*.HxC
DocProject/Help/*.hhc
DocProject/Help/*.hhk
DocProject/Help/*.hhp
DocProject/Help/Html2
DocProject/Help/html
publish/
*.[Pp]ublish.xml
*.azurePubxml
*.pubxml
*.publishproj
PublishScripts/
*.nupkg
*.snupkg
**/[Pp]ackages/*
!**/[Pp]ackages/build/
*.nuget.props
*.nuget.targets
""",
    "android": """
*.apk
*.aar
*.ap_
*.aab
*.dex
*.class
bin/
gen/
out/
release/
.gradle/
build/
local.properties
proguard/
*.log
.navigation/
captures/
*.iml
.idea/workspace.xml
.idea/tasks.xml
.idea/gradle.xml
.idea/assetWizardSettings.xml
.idea/dictionaries
.idea/libraries
.idea/caches
.idea/modules.xml
.idea/navEditor.xml
*.jks
*.keystore
.externalNativeBuild
.cxx/
google-services.json
freeline.py
freeline/
freeline_project_description.json
fastlane/report.xml
fastlane/Preview.html
fastlane/screenshots
fastlane/test_output
lint/intermediates/
lint/generated/
lint/outputs/
lint/tmp/
""",
    "tex": """
*.aux
*.lof
*.log
*.lot
*.fls
*.out
*.toc
*.fmt
*.fot
*.cb
*.cb2
.*.lb
*.dvi
*.xdv
*-converted-to.*
.pdf
*.bbl
*.bcf
*.blg
*-blx.aux
*-blx.bib
*.run.xml
*.fdb_latexmk
*.synctex
*.synctex(busy)
*.synctex.gz
*.synctex.gz(busy)
*.pdfsync
_minted*
*.pyg
*.nav
*.pre
*.snm
*.vrb
*.glo
*.gls
*.glg
*.idx
*.ilg
*.ind
""",
}

# Paths a project tree typically holds; a "/" at the end makes a folder.
PATHS = r"""
src/ src/main.py src/app.js src/Main.java src/main.c src/main.o src/lib.rs src/lib.rs.bk
src/build/ src/build/gen.c src/__pycache__/ src/__pycache__/main.cpython-311.pyc src/x.pyc
build/ build/out.o build/Release/ build/Release/app.exe dist/ dist/app.tar.gz target/
target/debug/ target/debug/app target/classes/ target/classes/A.class lib/ lib/x.so
node_modules/ node_modules/pkg/ node_modules/pkg/index.js web/ web/node_modules/
web/node_modules/a.js npm-debug.log npm-debug.log.1 yarn-error.log logs/ logs/app.log
.idea/ .idea/workspace.xml .idea/modules/ .idea/modules/workspace.xml .idea/misc.xml
.idea/dictionaries/ .idea/dictionaries/me.xml .idea/libraries/ .idea/caches/
.vscode/ .vscode/settings.json .vscode/launch.json .vscode/x.code-snippets .vscode/other.json
.DS_Store docs/ docs/.DS_Store ._resource Icon\r Iconr Thumbs.db desktop.ini Desktop.ini
file.txt~ .file.swp .file.swo .file.svg notes.txt.un~ Session.vim tags #notes# .#notes
a.elc .env .env.local venv/ venv/bin/ venv/bin/python .venv/ env/ coverage/ coverage/x.lcov
.coverage .coverage.1 .pytest_cache/ .mypy_cache/ htmlcov/ report.1.2.3.4.json app.pid
Debug/ debug/ Release/ obj/ obj/x.obj bin/ bin/app.dll x64/ Win32/ packages/ packages/a/
packages/build/ packages/build/b.props sub/packages/ sub/packages/c.nupkg a.suo a.user
.vs/ a.tmp main.tex main.aux main.log main.synctex.gz main.pdf a.pdf cmake-build-debug/
CMakeCache.txt CMakeFiles/ CMakeFiles/x.dir/ Makefile compile_commands.json app.exe x.dll
libx.a libx.so libx.so.1 app.out go.work vendor/ vendor/m.go Cargo.lock Cargo.toml
.gradle/ gradle/ gradle/wrapper/ gradle/wrapper/gradle-wrapper.jar app/ app/build/
app/build/x.class app/src/ app/src/main/ app/src/main/build/ app/src/main/build/y.txt
local.properties a.apk a.iml a.jks .cxx/ captures/ release/ out/ out/x.class
Generated\x20Files/ Generated/ .history/ $RECYCLE.BIN/ a.lnk .Trash-1000/ .nfs0001 .directory
README.md LICENSE Makefile.am a.map a.d a.mod a.cmd tramp auto-save-list/ .projectile
""".split()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    check = os.path.join(sys.argv[1], "bench", "ignore_check")
    paths = [p.replace("\\r", "\r").replace("\\x20", " ") for p in PATHS]
    with tempfile.TemporaryDirectory() as temp:
        top = os.path.join(temp, "tree")
        home = os.path.join(temp, "home")
        os.makedirs(home)
        for p in paths:
            full = os.path.join(top, p)
            if p.endswith("/"):
                os.makedirs(full, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(full), exist_ok=True)
                open(full, "w").close()
        subprocess.run(["git", "init", "-q", top], check=True)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, GIT_CONFIG_NOSYSTEM="1")
        names = [p.rstrip("/") for p in paths]
        listFile = os.path.join(temp, "list")

        def git(text):
            with open(os.path.join(top, ".gitignore"), "w", newline="") as f:
                f.write(text)
            run = subprocess.run(["git", "check-ignore", "--no-index", "--stdin", "-z"],
                                 cwd=top, env=env, input="\0".join(names).encode(),
                                 capture_output=True)
            ignored = set(run.stdout.decode().split("\0"))
            return [n in ignored for n in names]

        def ours(text):
            with open(listFile, "w", newline="") as f:
                f.write(text)
            run = subprocess.run([check, listFile], input="\n".join(paths).encode() + b"\n",
                                 capture_output=True)
            refused = [l for l in run.stderr.decode().splitlines() if l.startswith("refused ")]
            # A name with a CR cannot be asked line by line; its answer is dropped with it.
            answers = [l == "1" for l in run.stdout.decode().splitlines()]
            return answers, refused

        lines = set()
        whole = 0
        for name, text in TEMPLATES.items():
            expected = git(text)
            got, refused = ours(text)
            agrees = got == expected and not refused
            whole += agrees
            differ = [names[i] for i in range(len(names)) if got[i] != expected[i]]
            print(f"{name:13} {'agrees' if agrees else 'differs'}"
                  + (f"  refused {refused}" if refused else "")
                  + (f"  paths {differ}" if differ else ""))
            for line in text.splitlines():
                if line.strip() and not line.startswith("#"):
                    lines.add(line)
        accepted = 0
        same = 0
        for line in sorted(lines):
            got, refused = ours(line + "\n")
            if refused:
                print(f"refused line: {line!r}")
                continue
            accepted += 1
            if got == git(line + "\n"):
                same += 1
            else:
                print(f"decided otherwise: {line!r}")
        print(f"{len(TEMPLATES)} templates, {len(lines)} distinct lines, {len(paths)} paths")
        print(f"lines accepted: {accepted} of {len(lines)}")
        print(f"lines decided as git: {same} of {accepted}")
        print(f"whole templates that agree: {whole} of {len(TEMPLATES)}")


if __name__ == "__main__":
    main()
