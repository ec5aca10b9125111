#!/usr/bin/env bash
# Builds plugins with vantor-build from the example site and from sites made here, installs
# them side by side in a throw-away WordPress and uses them as a site owner and a visitor
# would. Prints "ok - ..." / "FAIL - ..." per check and "N passed, M failed" at the end.
# Usage: run_e2e.sh --vantor-build PATH --source-dir DIR [--layout L] [--port N] [--keep]
# The layout is how the WordPress is set up: "standard", "moved-content" (WP_CONTENT_DIR and
# WP_CONTENT_URL point elsewhere) or "subfolder" (WordPress in /wp/, the site at the top).
set -uo pipefail

E2E_DIR=$(cd "$(dirname "$0")" && pwd)
source "$E2E_DIR/wordpress.sh"
source "$E2E_DIR/test_sites.sh"
source "$E2E_DIR/real_sites.sh"
source "$E2E_DIR/delivery.sh"
source "$E2E_DIR/owner.sh"
source "$E2E_DIR/buyers.sh"
source "$E2E_DIR/old_sites.sh"
source "$E2E_DIR/roles.sh"
source "$E2E_DIR/upload.sh"

VANTOR_BUILD= SOURCE_DIR= PORT=18089 KEEP=0 LAYOUT=standard
while [ $# -gt 0 ]; do
    case $1 in
        --vantor-build) VANTOR_BUILD=$2; shift 2 ;;
        --source-dir) SOURCE_DIR=$2; shift 2 ;;
        --port) PORT=$2; shift 2 ;;
        --layout) LAYOUT=$2; shift 2 ;;
        --keep) KEEP=1; shift ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
[ -x "$VANTOR_BUILD" ] && [ -d "$SOURCE_DIR/examples/reseller-site" ] &&
    [[ "$LAYOUT" =~ ^(standard|moved-content|subfolder)$ ]] || {
    echo "usage: run_e2e.sh --vantor-build PATH --source-dir DIR [--layout standard|moved-content|subfolder] [--port N] [--keep]" >&2; exit 2; }

missing=
for tool in php curl mariadbd mariadb-install-db mariadb mariadb-admin setsid timeout; do
    command -v "$tool" > /dev/null || [ -x "/usr/sbin/$tool" ] || missing="$missing $tool"
done
[ -d /usr/share/wordpress/wp-includes ] || missing="$missing wordpress"
php -r 'exit(extension_loaded("mysqli") && class_exists("DOMDocument") && class_exists("ZipArchive") ? 0 : 1);' || missing="$missing php-mysql/php-xml/php-zip"
if [ -n "$missing" ]; then
    echo "FAIL - the tools the test needs are installed: missing$missing (scripts/install-deps.sh installs them)"
    echo "0 passed, 1 failed"
    exit 1
fi

# Memory-backed when possible: the run copies and deletes thousands of small files.
run_base=/dev/shm
[ -d "$run_base" ] && [ -w "$run_base" ] || run_base=${TMPDIR:-/tmp}
RUN=$(mktemp -d "$run_base/vantor-e2e.XXXXXX")
mkdir -p "$RUN/log" "$RUN/pages" "$RUN/sites" "$RUN/zips" "$RUN/tags"
INSPECT="$E2E_DIR/php/inspect.php"
JAR=$RUN/admin.cookies
started=$(date +%s.%N)
passed=0 failed=0

finish() {
    local rc=$?
    stop_paypal_stub
    wp_down
    if [ "$failed" -gt 0 ] || [ "$rc" -ne 0 ] || [ "$KEEP" = 1 ]; then
        echo "# run folder kept: $RUN"
    else
        rm -rf "$RUN"
    fi
}
trap finish EXIT
trap 'exit 130' INT TERM

ok() { echo "ok - $*"; passed=$((passed + 1)); }
fail() { echo "FAIL - $*"; failed=$((failed + 1)); }
phase() { printf '# %s, at %.1f s\n' "$1" "$(echo "$(date +%s.%N) - $started" | bc)"; }
verdict() { # verdict DESCRIPTION STATUS [DETAIL]
    count_real_check "$1"
    if [ "$2" = 0 ]; then ok "$1"; else fail "$1${3:+: $3}"; fi
}

# fetch OUT URL [CURL ARGS...]: the body goes to OUT, the headers to OUT.headers; prints the status.
fetch() {
    local out=$1 url=$2
    shift 2
    curl -sS --max-time 30 -o "$out" -D "$out.headers" -w '%{http_code}' "$@" "$url" 2>> "$RUN/log/curl.log" || true
}
# in_admin URL: an address from an admin page, made absolute.
in_admin() { if [[ "$1" == http* ]]; then echo "$1"; else echo "$A/wp-admin/$1"; fi; }
header_of() { grep -i "^$2:" "$1.headers" | tail -n 1 | cut -d' ' -f2- | tr -d '\r'; }

# The plugins under test, by key.
declare -A P_SITE P_FRONT P_DOWNLOAD P_NAME P_ID P_VERSION P_URI P_LICENSE P_TEMPLATE P_ZIP P_FILE
declare -A P_BUILD_ARGS P_FRONT_TAG P_BACK_TAG P_TITLE P_POST P_PERMALINK P_DOWNLOAD_URL REAL_OK REAL_ALL
PLUGINS=(example nested single)

P_SITE[example]=$SOURCE_DIR/examples/reseller-site
P_FRONT[example]=index.html P_DOWNLOAD[example]=download.html
P_NAME[example]="Little Green Balcony" P_ID[example]=p4217 P_VERSION[example]=1.2.3
P_URI[example]="https://example.invalid/little-green-balcony" P_LICENSE[example]=GPLv2
P_TITLE[example]="Balcony herbs launch"
# The buy button sends buyers back to [download_url], the funnel's current download address.
P_FRONT_TAG[example]='<form class="buy" action="https://pay.example.invalid/checkout" method="post"><input type="hidden" name="note" value="C:\herbs\$5 &amp; more"><input type="hidden" name="return" value="[download_url]"><button type="submit">Buy now — €9.90</button></form>'
P_BACK_TAG[example]='<ul class="bonus"><li><a href="https://example.invalid/bonus/planner.pdf">Bonus: the season planner</a></li></ul>'

make_nested_site "$RUN/sites/nested" "${P_SITE[example]}"
P_SITE[nested]=$RUN/sites/nested
P_FRONT[nested]="offer pages/sales page.html" P_DOWNLOAD[nested]="offer pages/thank you.html"
P_NAME[nested]='Tom'\''s "Quick" $5 \ Guide' P_ID[nested]=shop_b2 P_VERSION[nested]=2.0-beta.1
P_URI[nested]="https://example.invalid/shop?b=2&lang=fr" P_LICENSE[nested]="MIT"
P_TITLE[nested]="Offre spéciale été"
P_FRONT_TAG[nested]='<a class="achat" href="https://pay.example.invalid/?item=b2&amp;qty=1">Acheter — 12 €</a>'
P_BACK_TAG[nested]='<p class="bonus">Bonus : <a href="https://example.invalid/bonus/recettes.pdf">recettes d’été</a></p>'

make_single_page_site "$RUN/sites/single" "${P_SITE[example]}"
P_SITE[single]=$RUN/sites/single
P_FRONT[single]=index.html P_DOWNLOAD[single]=index.html
P_NAME[single]="One Page Shop" P_ID[single]=q9 P_VERSION[single]=0.9
P_URI[single]="https://example.invalid/one-page" P_LICENSE[single]="GPL-2.0-or-later"
P_TITLE[single]="Free handout"
P_FRONT_TAG[single]='<form class="signup" action="https://mail.example.invalid/subscribe" method="post"><input type="email" name="email"><button>Send me the handout</button></form>'
P_BACK_TAG[single]='<p class="thanks">You are on the list. <a href="https://example.invalid/welcome">Welcome kit</a></p>'
# Built from a template without thanks.php, which the build treats as optional.
cp -r "$SOURCE_DIR/resources/plugintemplate" "$RUN/template-without-thanks"
rm "$RUN/template-without-thanks/modules/template/thanks.php"
P_TEMPLATE[single]=$RUN/template-without-thanks

for key in "${PLUGINS[@]}"; do
    printf '%s' "${P_FRONT_TAG[$key]}" > "$RUN/tags/$key.front"
    printf '%s' "${P_BACK_TAG[$key]}" > "$RUN/tags/$key.back"
done

setup_real_sites || fail "the real sites copy into the run folder"
setup_old_sites "${P_SITE[example]}"
for key in "${OLD_PLUGINS[@]}"; do
    printf '%s' "${P_FRONT_TAG[$key]}" > "$RUN/tags/$key.front"
    printf '%s' "${P_BACK_TAG[$key]}" > "$RUN/tags/$key.back"
done
ALL_PLUGINS=("${PLUGINS[@]}" "${REAL_PLUGINS[@]}" "${OLD_PLUGINS[@]}")

echo "# run folder $RUN"

phase "building the plugins"

build_plugin() {
    local key=$1 id=${P_ID[$1]} out rc expected entries listed stray
    local -a extra=()
    [ -n "${P_TEMPLATE[$key]:-}" ] && extra=(--template "${P_TEMPLATE[$key]}")
    # shellcheck disable=SC2206 # the options are words without blanks
    [ -n "${P_BUILD_ARGS[$key]:-}" ] && extra+=(${P_BUILD_ARGS[$key]})
    mkdir -p "$RUN/zips/$key"
    out=$("$VANTOR_BUILD" "${P_SITE[$key]}" --front "${P_FRONT[$key]}" --download "${P_DOWNLOAD[$key]}" \
        --name "${P_NAME[$key]}" --id "$id" --version "${P_VERSION[$key]}" --uri "${P_URI[$key]}" \
        --license "${P_LICENSE[$key]}" --output "$RUN/zips/$key" "${extra[@]}" 2> "$RUN/log/build-$key.log")
    rc=$?
    expected="$RUN/zips/$key/$(printf '%s' "${P_NAME[$key]}" | tr -d ' \\' | tr '[:upper:]' '[:lower:]').zip"
    [ "$rc" = 0 ] && [ "$out" = "$expected" ] && [ -f "$expected" ]
    verdict "$key: vantor-build exits 0 and prints the archive's path alone" $? "exit $rc, printed '$out', expected '$expected'"
    P_ZIP[$key]=$expected
    entries=$(php "$INSPECT" zip "$expected" 2> "$RUN/log/inspect-$key.log")
    listed=$?
    stray=$(grep -v "^$id/" <<< "$entries" | head -n 3)
    local holds=0 why=
    grep -qx "$id/plugin.php" <<< "$entries" && [ -z "$stray" ] || holds=1
    # Why, when not: what the listing said, and what Python reads in the same archive.
    [ "$holds" = 0 ] || why="${stray:-no $id/plugin.php among $(grep -c . <<< "$entries") entries; the listing exited $listed: $(head -c 300 "$RUN/log/inspect-$key.log"); $(wc -c < "$expected") bytes, $(python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); print(len(z.namelist()), "entries for Python, bad:", z.testzip())' "$expected" 2>&1 | tail -n 1)}"
    verdict "$key: the archive holds $id/plugin.php and nothing outside $id/" "$holds" "$why"
}

for key in "${ALL_PLUGINS[@]}"; do build_plugin "$key"; done

phase "bringing up WordPress"

if ! wp_up "$RUN" "$PORT" 540 "$LAYOUT"; then
    fail "a fresh WordPress comes up"
    echo "$passed passed, $failed failed"
    exit 1
fi
# The site's address, WordPress's own address (admin and login), and where WordPress says the
# plugins are, on disk and on the web: they differ in the other layouts.
B=$WP_HOME_URL A=$WP_SITE_URL
PLUGINS_DIR=$(wp_php plugins-dir) PLUGINS_URL=$(wp_php plugins-url) THEMES_URL=$(wp_php themes-url)
ok "a fresh WordPress ($LAYOUT) comes up at $B, WordPress at $A, plugins at $PLUGINS_URL ($(head -n 1 "$RUN/log/wp-install.log"))"

login() { # login JAR USER PASSWORD
    curl -sS --max-time 30 -c "$1" -b "$1" -o /dev/null "$A/wp-login.php"
    curl -sS --max-time 30 -c "$1" -b "$1" -o /dev/null --data-urlencode "log=$2" --data-urlencode "pwd=$3" \
        -d testcookie=1 "$A/wp-login.php"
    grep -q wordpress_logged_in "$1"
}
login "$JAR" admin admin-e2e-pass
verdict "the administrator logs in over HTTP" $?

# row_link PLUGIN_FILE CLASS: the address of an action link (deactivate, delete) in the plugin's
# row of wp-admin › Plugins.
row_link() {
    fetch "$RUN/pages/plugins.html" "$A/wp-admin/plugins.php" -b "$JAR" > /dev/null
    in_admin "$(php "$INSPECT" value "$RUN/pages/plugins.html" "//tr[@data-plugin='$1']//span[@class='$2']/a/@href")"
}

# delete_in_admin PLUGIN_FILE: Delete, then "Yes, delete these files"; prints the final status.
delete_in_admin() {
    local -a form
    fetch "$RUN/pages/confirm.html" "$(row_link "$1" delete)" -b "$JAR" > /dev/null
    mapfile -t form < <(php "$INSPECT" form "$RUN/pages/confirm.html" "$A/wp-admin/plugins.php" "//form[.//input[@name='verify-delete']]")
    fetch "$RUN/pages/deleted.html" "${form[0]:-$A/wp-admin/plugins.php}" -b "$JAR" --data-binary "${form[1]:-}"
}

# What core itself logs on the pages the test visits, and when a plugin (the bundled one) is deleted,
# before any plugin under test is there.
for page in "$B/" "$A/wp-admin/" "$A/wp-admin/plugins.php" "$A/wp-admin/plugin-install.php?tab=upload" \
    "$A/wp-admin/edit.php" "$A/wp-admin/post-new.php" "$A/wp-admin/post.php?post=1&action=edit" "$B/hello-world/"; do
    fetch "$RUN/pages/baseline.html" "$page" -b "$JAR" > /dev/null
done
fetch "$RUN/pages/baseline.xml" "$A/xmlrpc.php" -H 'Content-Type: text/xml' \
    --data-binary '<?xml version="1.0"?><methodCall><methodName>demo.sayHello</methodName><params></params></methodCall>' > /dev/null
[ "$(delete_in_admin akismet/akismet.php)" = 302 ] && [ ! -e "$PLUGINS_DIR/akismet" ]
verdict "the bundled plugin deletes from wp-admin › Plugins (the way the test deletes its own)" $?
cp "$WP_LOG" "$RUN/log/core-baseline.log" 2> /dev/null || : > "$RUN/log/core-baseline.log"

phase "installing the plugins"

# Upload and activate as in wp-admin › Plugins › Add New › Upload Plugin, which hands the
# ZIP to Plugin_Upgrader; activation redirects with "error" when the plugin prints anything.
install_plugin() {
    local key=$1 form_page="$RUN/pages/$1-upload-form.html" result="$RUN/pages/$1-uploaded.html" code link location line id tables secret
    local -a lines fields=()
    fetch "$form_page" "$A/wp-admin/plugin-install.php?tab=upload" -b "$JAR" > /dev/null
    mapfile -t lines < <(php "$INSPECT" form-fields "$form_page" "$A/wp-admin/plugin-install.php" "//form[contains(@class,'wp-upload-form')]")
    for line in "${lines[@]:1}"; do fields+=(--form-string "${line%%$'\t'*}=${line#*$'\t'}"); done
    code=$(fetch "$result" "${lines[0]:-$A/wp-admin/update.php}" -b "$JAR" "${fields[@]}" -F "pluginzip=@${P_ZIP[$key]};type=application/zip")
    link=$(php "$INSPECT" value "$result" "//a[contains(@href,'action=activate')]/@href")
    grep -q 'Plugin installed successfully' "$result" && [ -n "$link" ]
    verdict "$key: the ZIP uploads in wp-admin and installs" $? \
        "$code: $(php "$INSPECT" value "$result" "//div[@class='wrap']" | tr -s ' \n\t' ' ' | cut -c1-300)"
    code=$(fetch "$RUN/pages/$key-activated.html" "$(in_admin "$link")" -b "$JAR")
    location=$(header_of "$RUN/pages/$key-activated.html" location)
    [ "$code" = 302 ] && [[ "$location" == *"activate=true"* ]]
    verdict "$key: activates without unexpected output or errors" $? "$code -> $location"
    P_FILE[$key]=${P_ID[$key]}/plugin.php
    # Read beside WordPress: a request to it would make them on its own.
    id=${P_ID[$key]}
    tables=$(wp_sql "SHOW TABLES WHERE Tables_in_wp IN ('wp_${id}_buyers', 'wp_${id}_downloads')" | sort | tr '\n' ' ')
    secret=$(wp_sql "SELECT LENGTH(option_value) FROM wp_options WHERE option_name = '${id}_secret'")
    [ "$tables" = "wp_${id}_buyers wp_${id}_downloads " ] && [ "$secret" = 64 ]
    verdict "$key: activation makes the buyers and downloads tables and the site's secret" $? "tables '$tables', secret of ${secret:-no} characters"
}
# update_plugin KEY: uploads KEY's ZIP in wp-admin over the installed plugin of the same folder and
# accepts WordPress's offer to replace it; the answer page goes to $RUN/pages/KEY-updated.html.
update_plugin() {
    local form_page="$RUN/pages/$1-update-form.html" line link
    local -a lines fields=()
    fetch "$form_page" "$A/wp-admin/plugin-install.php?tab=upload" -b "$JAR" > /dev/null
    mapfile -t lines < <(php "$INSPECT" form-fields "$form_page" "$A/wp-admin/plugin-install.php" "//form[contains(@class,'wp-upload-form')]")
    for line in "${lines[@]:1}"; do fields+=(--form-string "${line%%$'\t'*}=${line#*$'\t'}"); done
    fetch "$RUN/pages/$1-update-uploaded.html" "${lines[0]:-$A/wp-admin/update.php}" -b "$JAR" "${fields[@]}" -F "pluginzip=@${P_ZIP[$1]};type=application/zip" > /dev/null
    link=$(php "$INSPECT" value "$RUN/pages/$1-update-uploaded.html" "//a[contains(@href,'overwrite=update-plugin')]/@href")
    fetch "$RUN/pages/$1-updated.html" "$(in_admin "${link:-missing}")" -b "$JAR" > /dev/null
    grep -q 'updated successfully' "$RUN/pages/$1-updated.html"
}
# Both of WordPress's unzip paths (ZipArchive, and PclZip where PHP lacks it) unpack the ZIP, with
# its stored and deflated entries, into exactly what 7za unpacks; each install is removed again.
unzip_paths() {
    local key=$1 mode folder why="" stored
    rm -rf "$RUN/unzipped/$key" && mkdir -p "$RUN/unzipped/$key"
    7za x -y -bd -o"$RUN/unzipped/$key" "${P_ZIP[$key]}" > /dev/null || why="7za cannot unpack it"
    stored=$(7za l -slt "${P_ZIP[$key]}" | grep -c '^Method = Store$')
    for mode in ziparchive pclzip; do
        folder=$(wp_php install-zip "${P_ZIP[$key]}" "$mode" 2> "$RUN/log/unzip-$key-$mode.log") ||
            why="$why $mode: $(head -c 300 "$RUN/log/unzip-$key-$mode.log")"
        if [ -n "$folder" ] && [ -d "$folder" ]; then
            diff -r "$RUN/unzipped/$key/${P_ID[$key]}" "$folder" > "$RUN/log/unzip-$key-$mode.diff" 2>&1 ||
                why="$why $mode: differs ($(head -c 200 "$RUN/log/unzip-$key-$mode.diff"))"
            rm -rf "$folder"
        fi
    done
    [ -z "$why" ]
    verdict "$key: WordPress installs the ZIP ($stored entries stored) through ZipArchive and PclZip byte for byte" $? "$why"
}
for key in "${ALL_PLUGINS[@]}"; do unzip_paths "$key"; done
for key in "${ALL_PLUGINS[@]}"; do install_plugin "$key"; done

active=$(wp_php active-plugins 2>&1)
all_active=0
for key in "${ALL_PLUGINS[@]}"; do grep -qxF "${P_FILE[$key]}" <<< "$active" || all_active=1; done
verdict "the ${#ALL_PLUGINS[@]} plugins are active side by side" $all_active "$active"

check_header() {
    local key=$1 field want got wrong=""
    declare -A want_of=(
        [Name]=${P_NAME[$key]} [PluginURI]=${P_URI[$key]} [Version]=${P_VERSION[$key]}
        [Description]="Plugin Created with Vantor! - https://vantor.dev." [Author]="Converted by Vantor!"
        [AuthorURI]="https://vantor.dev" [License]=${P_LICENSE[$key]}
    )
    declare -A got_of=()
    while IFS=$'\t' read -r field got; do got_of[$field]=$got; done < <(wp_php plugin-header "${P_FILE[$key]}" 2>&1)
    for field in Name PluginURI Description Version Author AuthorURI License; do
        [ "${got_of[$field]:-}" = "${want_of[$field]}" ] || wrong="$wrong $field='${got_of[$field]:-}'"
    done
    [ -z "$wrong" ]
    verdict "$key: WordPress reads all seven header fields exactly as typed" $? "${wrong# }"
}
for key in "${ALL_PLUGINS[@]}"; do check_header "$key"; done

fetch "$RUN/pages/plugins.html" "$A/wp-admin/plugins.php" -b "$JAR" > /dev/null
fetch "$RUN/pages/dashboard.html" "$A/wp-admin/" -b "$JAR" > /dev/null
for key in "${PLUGINS[@]}"; do
    id=${P_ID[$key]} type=${P_ID[$key],,}
    listed=$(php "$INSPECT" value "$RUN/pages/plugins.html" "//tr[@data-plugin='${P_FILE[$key]}' and contains(concat(' ',@class,' '),' active ')]//td[contains(@class,'plugin-title')]/strong")
    version=$(php "$INSPECT" value "$RUN/pages/plugins.html" "//tr[@data-plugin='${P_FILE[$key]}']//div[contains(@class,'plugin-version-author-uri')]")
    [ "$listed" = "${P_NAME[$key]}" ] && [[ "$version" == "Version ${P_VERSION[$key]} |"* ]]
    verdict "$key: wp-admin › Plugins lists it as active with its name and version" $? "name '$listed', '$version'"
    menu=$(php "$INSPECT" value "$RUN/pages/dashboard.html" "//li[@id='menu-posts-$type']//div[@class='wp-menu-name']")
    [ "$menu" = "${P_NAME[$key]}" ]
    verdict "$key: the admin menu entry reads the plugin name" $? "menu reads '$menu'"
    check_menu "$key" "$RUN/pages/dashboard.html"
done
check_first_steps

phase "funnels made on the edit screen"

# save_funnel KEY JAR URL_OF_EDIT_SCREEN [name=value...]: fills and posts the edit screen's
# form; prints the address WordPress sends the browser to afterwards.
save_funnel() {
    local key=$1 jar=$2 url=$3 page
    shift 3
    page="$RUN/pages/$key-form.html"
    fetch "$page" "$url" -b "$jar" > /dev/null
    local -a form
    mapfile -t form < <(php "$INSPECT" form "$page" "$url" "//form[@id='post']" "$@")
    [ "${#form[@]}" = 2 ] || return 1
    fetch "$RUN/pages/$key-saved.html" "${form[0]}" -b "$jar" --data-binary "${form[1]}" > /dev/null
    header_of "$RUN/pages/$key-saved.html" location
}

create_funnel() {
    local key=$1 id=${P_ID[$1]} type=${P_ID[$1],,} location edit key_shown before
    location=$(save_funnel "$key" "$JAR" "$A/wp-admin/post-new.php?post_type=$type" \
        "post_title=${P_TITLE[$key]}" "${id}_front_tag=${P_FRONT_TAG[$key]}" "${id}_back_tag=${P_BACK_TAG[$key]}" \
        "${id}_mode=free" "publish=Publish")
    P_POST[$key]=$(sed -n 's/.*[?&]post=\([0-9]*\).*/\1/p' <<< "$location")
    [ -n "${P_POST[$key]}" ] && [[ "$location" == *"message=6"* ]]
    verdict "$key: a funnel is published through the edit screen's form" $? "redirected to '$location'"
    # The address the new funnel's edit screen showed before it was saved.
    before=$(php "$INSPECT" value "$RUN/pages/$key-form.html" "//input[@id='${id}_download_url']/@value")

    edit="$RUN/pages/$key-edit.html"
    fetch "$edit" "$A/wp-admin/post.php?post=${P_POST[$key]}&action=edit" -b "$JAR" > /dev/null
    P_PERMALINK[$key]=$(php "$INSPECT" value "$edit" "//span[@id='sample-permalink']/a/@href")
    P_DOWNLOAD_URL[$key]=$(php "$INSPECT" value "$edit" "//input[@id='${id}_download_url']/@value")
    key_shown=$(php "$INSPECT" value "$edit" "//code[@id='${id}_download_key']")
    [ ${#key_shown} -ge 20 ] && [ "${P_DOWNLOAD_URL[$key]}" = "$B/?post_type=$type&p=${P_POST[$key]}&${id}_key=$key_shown" ] &&
        [ "$before" = "${P_DOWNLOAD_URL[$key]}" ]
    verdict "$key: the edit screen shows the secret key and the download address, the same as before the first save" $? \
        "key '$key_shown', address '${P_DOWNLOAD_URL[$key]}', before saving '$before'"
    [ "$(php "$INSPECT" value "$edit" "//textarea[@id='${id}_front_tag']")" = "${P_FRONT_TAG[$key]}" ] &&
        [ "$(php "$INSPECT" value "$edit" "//textarea[@id='${id}_back_tag']")" = "${P_BACK_TAG[$key]}" ]
    verdict "$key: the edit screen shows both tags back exactly as typed" $?

    fetch "$RUN/pages/$key-list.html" "$A/wp-admin/edit.php?post_type=$type" -b "$JAR" > /dev/null
    [ "$(php "$INSPECT" value "$RUN/pages/$key-list.html" "//tr[@id='post-${P_POST[$key]}']//a[contains(@class,'row-title')]")" = "${P_TITLE[$key]}" ]
    verdict "$key: the plugin's menu lists the funnel" $?
    # [download_url] is shown as the address, escaped for an attribute as the page prints it.
    if [[ "${P_FRONT_TAG[$key]}" == *"[download_url]"* ]]; then
        local shown=${P_DOWNLOAD_URL[$key]//&/'&#038;'}
        printf '%s' "${P_FRONT_TAG[$key]//\[download_url\]/"$shown"}" > "$RUN/tags/$key.front"
    fi
}

# The owner's view of a made plugin's funnel: help on both screens, the list's columns.
check_funnel_screens() {
    check_help "$1" "$RUN/pages/$1-edit.html" "edit screen"
    check_help "$1" "$RUN/pages/$1-list.html" "funnel list"
    check_list_row "$1" "$RUN/pages/$1-list.html" "${P_POST[$1]}" "${P_DOWNLOAD_URL[$1]}" "filled in" "filled in"
}

# check_assets KEY PAGE_FILE: every address into the plugin answers with the site file's bytes,
# style sheets' url(...) images too; no relative reference is left behind.
check_assets() {
    local key=$1 page=$2 base url rel code bad="" n=0 css_n=0 left name
    base="$PLUGINS_URL/${P_ID[$key]}/modules/template/"
    # Worked out before the checks: a command substitution in verdict's words would reset $?.
    name=$(basename "$page")
    left=$(php "$INSPECT" assets "$page" "$base" | grep '^left' | cut -f2 | tr '\n' ' ')
    [ -z "$left" ]
    verdict "$key: no relative asset reference is left in $name" $? "$left"
    while IFS=$'\t' read -r url rel; do
        n=$((n + 1))
        code=$(fetch "$RUN/pages/asset" "$url")
        if [ "$code" != 200 ] || ! cmp -s "$RUN/pages/asset" "${P_SITE[$key]}/$rel"; then
            bad="$bad $rel($code)"
            continue
        fi
        if [[ "$rel" == *.css ]]; then
            cp "$RUN/pages/asset" "$RUN/pages/sheet.css"
            while IFS=$'\t' read -r url rel2; do
                css_n=$((css_n + 1))
                code=$(fetch "$RUN/pages/asset" "$url")
                [ "$code" = 200 ] && cmp -s "$RUN/pages/asset" "${P_SITE[$key]}/$rel2" || bad="$bad $rel:url($rel2)($code)"
            done < <(php "$INSPECT" css "$RUN/pages/sheet.css" "$rel" "$base")
        fi
    done < <(php "$INSPECT" assets "$page" "$base" | grep -v '^left')
    [ "$n" -gt 0 ] && [ -z "$bad" ]
    verdict "$key: all $n asset addresses in $name and $css_n style sheet url()s answer 200 with the file's bytes" $? "${bad# }"
}

# check_page KEY ROLE URL: the converted page of ROLE (front or download) as a visitor sees it.
check_page() {
    local key=$1 role=$2 url=$3 page="$RUN/pages/$1-$2.html" source marker tag code type first
    if [ "$role" = front ]; then
        source="${P_SITE[$key]}/${P_FRONT[$key]}" tag="$RUN/tags/$key.front" marker=FRONT
    else
        source="${P_SITE[$key]}/${P_DOWNLOAD[$key]}" tag="$RUN/tags/$key.back" marker=BACK
    fi
    code=$(fetch "$page" "$url")
    type=$(header_of "$page" content-type)
    [ "$code" = 200 ] && [ "$type" = "text/html; charset=UTF-8" ]
    verdict "$key: the $role page answers 200 as UTF-8 HTML" $? "$code, $type"
    first=$(head -n 1 "$source")
    [ "$(head -n 1 "$page")" = "$first" ] && ! grep -qF "$THEMES_URL/" "$page"
    verdict "$key: the $role page is the site's own full page, not the theme's" $?
    php "$INSPECT" around "$source" "$tag" "$page" "#$marker#" 2> "$RUN/log/around.txt"
    verdict "$key: the $role page shows the ${marker,,} tag where #$marker# stood" $? "$(cat "$RUN/log/around.txt")"
    ! grep -qE '#(FRONT|front|Front|BACK|back|Back)#|bloginfo\(|\$front_tag|\$back_tag' "$page"
    verdict "$key: the $role page holds no marker tag and no PHP code" $?
    n=$(php "$INSPECT" utf8 "$source" "$page" 2> "$RUN/log/utf8.txt")
    verdict "$key: the $role page's non-ASCII text arrives intact in UTF-8 (${n:-0} lines)" $? "$(cat "$RUN/log/utf8.txt")"
    check_assets "$key" "$page"
}

for key in "${PLUGINS[@]}"; do
    create_funnel "$key"
    check_funnel_screens "$key"
    check_page "$key" front "${P_PERMALINK[$key]}"
    ! grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/$key-front.html"
    verdict "$key: the front page without a key holds no back tag" $?
    check_page "$key" download "${P_DOWNLOAD_URL[$key]}"
    [ "$(header_of "$RUN/pages/$key-download.html" x-robots-tag)" = "noindex, nofollow" ]
    verdict "$key: the download page asks search engines to keep out" $?

    if [ -n "$(delivered_files "$key")" ]; then
        check_delivery "$key"
    else
        # A PDF the front-end page shows too stays a public file of the site.
        pdf_url= pdf_rel=
        IFS=$'\t' read -r pdf_url pdf_rel < <(php "$INSPECT" assets "$RUN/pages/$key-download.html" \
            "$PLUGINS_URL/${P_ID[$key]}/modules/template/" | awk -F '\t' 'tolower($2) ~ /\.pdf$/' | head -n 1)
        code=$(fetch "$RUN/pages/delivery" "${pdf_url:-$B/no-pdf-link}")
        [ -n "$pdf_rel" ] && [ "$code" = 200 ] && [ "$(header_of "$RUN/pages/delivery" content-type)" = application/pdf ] &&
            cmp -s "$RUN/pages/delivery" "${P_SITE[$key]}/$pdf_rel"
        verdict "$key: the public PDF link on the download page downloads the PDF" $? "${pdf_rel:-no PDF link}, $code"
    fi

    refused=""
    for bad_key in "wrong${P_DOWNLOAD_URL[$key]##*=}" "" "${P_DOWNLOAD_URL[$key]##*=}x"; do
        code=$(fetch "$RUN/pages/refused.html" "${P_PERMALINK[$key]}?${P_ID[$key]}_key=$bad_key")
        if [ "$code" != 403 ] || grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/refused.html"; then refused="$refused '$bad_key'->$code"; fi
    done
    code=$(fetch "$RUN/pages/refused.html" "${P_PERMALINK[$key]}?${P_ID[$key]}_key%5B%5D=x")
    [ "$code" = 403 ] || refused="$refused array->$code"
    [ -z "$refused" ]
    verdict "$key: a wrong, empty or malformed key gets 403 and no back tag" $? "$refused"
done
check_refusal_page example "//header[contains(@class,'wp-block-template-part')]//*[contains(@class,'wp-block-site-title')]" \
    "//footer[contains(@class,'wp-block-template-part')]"
make_classic_theme
wp_php switch-theme e2e-classic > /dev/null
check_refusal_page example "//header[@id='e2e-classic-header']" "//footer[@id='e2e-classic-footer']"
wp_php switch-theme twentytwentythree > /dev/null
check_address_before_publishing nested
check_return_address example "as published"

phase "every reference of the real sites' and the made sites' funnel pages"

for key in "${REAL_PLUGINS[@]}"; do
    create_funnel "$key"
    fetch "$RUN/pages/$key-front.html" "${P_PERMALINK[$key]}" > /dev/null
    fetch "$RUN/pages/$key-download.html" "${P_DOWNLOAD_URL[$key]}" > /dev/null
done
for key in "${PLUGINS[@]}" "${REAL_PLUGINS[@]}"; do
    for role in front download; do
        # The tag in place of its marker again, so that both pages hold the same elements.
        served="$RUN/pages/$key-$role-untagged.html"
        if [ "$role" = front ]; then tag=$RUN/tags/$key.front marker='#FRONT#'; else tag=$RUN/tags/$key.back marker='#BACK#'; fi
        TAG=$(cat "$tag") MARKER=$marker perl -0pe 's/\Q$ENV{TAG}\E/$ENV{MARKER}/g' "$RUN/pages/$key-$role.html" > "$served"
        check_references "$key" "$role" "$served" "${P_PERMALINK[$key]}"
    done
    check_download_page_hidden "$key"
    [ -n "$(delivered_files "$key")" ] && check_delivery_hidden "$key"
done
check_delivery_streams example

phase "an old site folder: its scripts and secrets, rollovers and its own absolute addresses"

for key in "${OLD_PLUGINS[@]}"; do
    create_funnel "$key"
    fetch "$RUN/pages/$key-front.html" "${P_PERMALINK[$key]}" > /dev/null
    fetch "$RUN/pages/$key-download.html" "${P_DOWNLOAD_URL[$key]}" > /dev/null
    check_left_out "$key"
done
check_old_references oldsite 1
check_old_references oldsite_asis 0
summary=""
for key in "${ALL_PLUGINS[@]}"; do summary="$summary $key ${REAL_OK[$key]:-0}/${REAL_ALL[$key]:-0},"; done
echo "# references that the sites can satisfy and that resolve in WordPress ($LAYOUT):${summary%,}"

phase "new keys, authors, coexistence"

key=example id=${P_ID[example]}
old_url=${P_DOWNLOAD_URL[example]}
old_file_url=$(delivery_link example "$(delivered_files example | head -n 1)")
location=$(save_funnel example "$JAR" "$A/wp-admin/post.php?post=${P_POST[example]}&action=edit" "${id}_new_key=1" "save=Update")
fetch "$RUN/pages/renewed-edit.html" "$(in_admin "$location")" -b "$JAR" > /dev/null
new_url=$(php "$INSPECT" value "$RUN/pages/renewed-edit.html" "//input[@id='${id}_download_url']/@value")
said=$(php "$INSPECT" value "$RUN/pages/renewed-edit.html" "//div[@id='message']" | tr -s ' \n\t' ' ')
[[ "$said" == *"given out before no longer work"* ]]
verdict "example: the message after saving with a new key says that the addresses given out before stop working" $? "'$said'"
old_code=$(fetch "$RUN/pages/refused.html" "$old_url")
new_code=$(fetch "$RUN/pages/renewed.html" "$new_url")
[ -n "$new_url" ] && [ "$new_url" != "$old_url" ] && [ "$old_code" = 403 ] && [ "$new_code" = 200 ] &&
    grep -qF "${P_BACK_TAG[example]}" "$RUN/pages/renewed.html"
verdict "example: a new key made on demand retires the old download address" $? "old $old_code, new $new_code"
old_code=$(fetch "$RUN/pages/refused" "$old_file_url")
new_file_url=$(php "$INSPECT" value "$RUN/pages/renewed.html" "//a[contains(@href, '${id}_file=')]/@href")
new_code=$(fetch "$RUN/pages/renewed-file" "$new_file_url")
[ "$old_code" = 403 ] && [ "$new_code" = 200 ] && [ "$new_file_url" != "$old_file_url" ]
verdict "example: the new key retires the old file addresses too, and the page links the new ones" $? "old $old_code, new $new_code"
check_return_address example "after a new key"
check_slug_change example

fetch "$RUN/pages/dashboard.html" "$A/wp-admin/" -b "$JAR" > /dev/null
menus=0
for key in "${ALL_PLUGINS[@]}"; do
    [ "$(php "$INSPECT" value "$RUN/pages/dashboard.html" "//li[@id='menu-posts-${P_ID[$key],,}']//div[@class='wp-menu-name']")" = "${P_NAME[$key]}" ] || menus=1
done
verdict "the admin menu carries all ${#ALL_PLUGINS[@]} plugins' entries at once" $menus

direct=""
for key in "${ALL_PLUGINS[@]}"; do
    for file in plugin.php modules/cpt.php modules/cpt_template_loader.php modules/template/template.php modules/template/thanks.php; do
        [ -f "$PLUGINS_DIR/${P_ID[$key]}/$file" ] || continue
        code=$(fetch "$RUN/pages/direct" "$PLUGINS_URL/${P_ID[$key]}/$file")
        [ "$code" = 200 ] && [ ! -s "$RUN/pages/direct" ] || direct="$direct ${P_ID[$key]}/$file($code)"
    done
done
[ -z "$direct" ]
verdict "the plugins' own PHP files requested directly print nothing" $? "$direct"

phase "roles, remote writes, public listings, an update in place and an uninstall"

check_roles
check_public_listings
check_upgrade_and_uninstall

phase "buyers and payments"

check_buyers example

phase "a lean plugin and its delivery files uploaded in pieces, under PHP's default upload limits"

check_lean_upload

phase "deactivating and deleting"

for key in "${ALL_PLUGINS[@]}"; do
    link=$(row_link "${P_FILE[$key]}" deactivate)
    code=$(fetch "$RUN/pages/deactivated.html" "$link" -b "$JAR")
    active=$(wp_php active-plugins 2>&1)
    ! grep -qxF "${P_FILE[$key]}" <<< "$active" && [ "$code" = 302 ]
    verdict "$key: deactivates from wp-admin › Plugins" $? "link '$link' -> $code"

    code=$(fetch "$RUN/pages/gone.html" "${P_PERMALINK[$key]}")
    others=""
    for other in "${ALL_PLUGINS[@]}"; do
        grep -qxF "${P_FILE[$other]}" <<< "$active" || continue
        [ "$(fetch "$RUN/pages/other.html" "${P_PERMALINK[$other]}")" = 200 ] || others="$others $other"
    done
    [ "$code" = 404 ] && [ -z "$others" ]
    verdict "$key: its funnel address is gone and the other plugins' funnels still answer" $? "own $code, broken:$others"

    code=$(delete_in_admin "${P_FILE[$key]}")
    [ "$code" = 302 ] && [ ! -e "$PLUGINS_DIR/${P_ID[$key]}" ]
    verdict "$key: deletes from wp-admin › Plugins, files and all" $? "$code"
done

phase "PHP messages"

# Core logs its own deprecations on PHP 8.2; those seen before any plugin are core's.
php_messages() { grep -hE '^\[[^]]*\] PHP (Warning|Notice|Deprecated|Fatal error|Parse error|Strict Standards)' "$@" 2> /dev/null | sed 's/^\[[^]]*\] //'; }
php_messages "$RUN/log/core-baseline.log" | sort -u > "$RUN/log/core-known.txt"
php_messages "$WP_LOG" "$RUN/log/php-server-errors.log" | sort -u > "$RUN/log/all-messages.txt"
plugin_re="$PLUGINS_DIR/($(IFS='|'; echo "${P_ID[*]}"))/"
grep -E "$plugin_re" "$RUN/log/all-messages.txt" > "$RUN/log/plugin-messages.txt"
grep -vE "$plugin_re" "$RUN/log/all-messages.txt" | grep -vxFf "$RUN/log/core-known.txt" > "$RUN/log/new-core-messages.txt"
[ ! -s "$RUN/log/plugin-messages.txt" ]
verdict "no PHP warning, notice, deprecation or error from the plugins' files" $? "$(head -c 600 "$RUN/log/plugin-messages.txt")"
[ ! -s "$RUN/log/new-core-messages.txt" ]
verdict "no PHP message from core that core did not already log without the plugins" $? "$(head -c 600 "$RUN/log/new-core-messages.txt")"
echo "# core's own PHP messages, also logged without the plugins: $(wc -l < "$RUN/log/core-known.txt")"

phase "done"
report_real_sites
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
