# Real public sites made with different tools, built into plugins and checked reference by
# reference. They are not ours to hand on, so they live beside the repository, not in it: in
# ../shared/realsites (its SOURCES.txt says where each site comes from), or in the folder that
# VANTOR_REALSITES names. Without them the run goes on with the sites made here and says what it
# left out. Sourced by run_e2e.sh, which provides fetch, verdict, the P_* tables and the WordPress
# addresses.

REAL_PLUGINS=(isj maca webflow tilda frontpage ble)
REAL_FOLDERS=(isj maca-salesletter webflow-3drobot tilda-kitmarketing frontpage-no ble-books)
# The checks each real site gets (building, installing, its header, its references, its hidden
# pages, deleting), as counted in a run with the corpus; a run without it reports them not run.
REAL_CHECKS_PER_SITE=18
REAL_CHECKS=0

# The corpus folder, or nothing when none holds all six sites.
find_real_sites() {
    local dir folder common
    local -a candidates
    if [ -n "${VANTOR_REALSITES:-}" ]; then
        candidates=("$VANTOR_REALSITES")
    else
        candidates=("$SOURCE_DIR/../shared/realsites")
        # In a worktree the repository is the main one: the corpus sits beside that.
        common=$(cd "$SOURCE_DIR" && cd "$(git rev-parse --git-common-dir 2> /dev/null)/.." 2> /dev/null && pwd) &&
            candidates+=("$common/../shared/realsites")
    fi
    for dir in "${candidates[@]}"; do
        for folder in "${REAL_FOLDERS[@]}"; do
            [ -d "$dir/$folder" ] || continue 2
        done
        (cd "$dir" && pwd)
        return 0
    done
    return 1
}

# Counts the verdicts about one real site; verdict calls it.
count_real_check() { # count_real_check DESCRIPTION
    local key
    for key in "${REAL_PLUGINS[@]}"; do
        if [[ "$1" == "$key: "* ]]; then
            REAL_CHECKS=$((REAL_CHECKS + 1))
            return
        fi
    done
}

# What became of the real sites' checks, for the run's last lines.
report_real_sites() {
    local sites=${#REAL_PLUGINS[@]}
    if [ "$sites" -eq 0 ]; then
        echo "# $REAL_SITES_ABSENT"
        return
    fi
    echo "# the $sites real sites from $REAL_SITES got $REAL_CHECKS checks"
    if [ "$REAL_CHECKS" -ne $((sites * REAL_CHECKS_PER_SITE)) ]; then
        echo "# a run without them counts $REAL_CHECKS_PER_SITE a site as not run: set REAL_CHECKS_PER_SITE" \
            "in real_sites.sh to what this run made"
    fi
}

# add_real_site KEY FOLDER FRONT DOWNLOAD ID NAME
add_real_site() {
    local key=$1
    P_SITE[$key]=$RUN/sites/real/$2 P_FRONT[$key]=$3 P_DOWNLOAD[$key]=$4 P_ID[$key]=$5 P_NAME[$key]=$6
    P_VERSION[$key]=1.0 P_URI[$key]="https://example.invalid/$2" P_LICENSE[$key]=GPLv2
    P_TITLE[$key]="$6 funnel"
    # Plain text, so that the served page holds the same elements as the site's page.
    P_FRONT_TAG[$key]="[buy button of $key]" P_BACK_TAG[$key]="[download links of $key]"
    printf '%s' "${P_FRONT_TAG[$key]}" > "$RUN/tags/$key.front"
    printf '%s' "${P_BACK_TAG[$key]}" > "$RUN/tags/$key.back"
}

# The markers go where a seller would put them, at the end of the page's body.
mark_page() { # mark_page FILE MARKER
    perl -0pi -e 'BEGIN { $m = shift } s{</body>}{$m</body>}i or $_ .= $m' "$2" "$1"
}

# Copies the corpus into the run (the markers go into the copies) and registers its sites; without
# a corpus, registers none and says so.
setup_real_sites() {
    REAL_SITES=$(find_real_sites)
    if [ -z "$REAL_SITES" ]; then
        REAL_SITES_ABSENT="real-site corpus not found: $((${#REAL_PLUGINS[@]} * REAL_CHECKS_PER_SITE)) checks not run"
        REAL_SITES_ABSENT+=" (looked in ${VANTOR_REALSITES:-$SOURCE_DIR/../shared/realsites}; VANTOR_REALSITES names another folder)"
        echo "# $REAL_SITES_ABSENT"
        REAL_PLUGINS=()
        return 0
    fi
    echo "# real sites from $REAL_SITES"
    mkdir -p "$RUN/sites/real"
    cp -R "$REAL_SITES/." "$RUN/sites/real" || return 1
    add_real_site isj isj Index.html contact_us.html r_isj "ISJ Services"
    add_real_site maca maca-salesletter index.html salespage.html r_maca "Maca Ebook"
    add_real_site webflow webflow-3drobot index.html style-guide.html r_webflow "3D Robot"
    add_real_site tilda tilda-kitmarketing index.html index.html r_tilda "Kit Marketing"
    add_real_site frontpage frontpage-no index.htm "side 2.htm" r_frontpage "Hjemmeside"
    add_real_site ble ble-books index.htm thankyou.htm r_ble "BLE Books"
    local key
    for key in "${REAL_PLUGINS[@]}"; do
        mark_page "${P_SITE[$key]}/${P_FRONT[$key]}" '#FRONT#'
        mark_page "${P_SITE[$key]}/${P_DOWNLOAD[$key]}" '#BACK#'
    done
}

# The references the build reported for PAGE as naming no file: one a line.
reported_references() { # reported_references KEY PAGE
    PAGE=$2 perl -ne 'print "$1\n" if /^warning: \Q$ENV{PAGE}\E line \d+: "(.*)" (names no file|points outside|could be any of)/' \
        "$RUN/log/build-$1.log" | sort -u
}

# check_references KEY ROLE SERVED_FILE FUNNEL_URL: every reference of the role's page that
# names a file of the site answers with that file's bytes (a funnel page: is the funnel's
# address, or an anchor on the page itself); those that name nothing are the ones the build
# reported. Adds to REAL_OK and REAL_ALL.
check_references() {
    local key=$1 role=$2 served=$3 funnel=$4 page kind ref value file code bad="" ok=0 all=0 fragment
    page=${P_FRONT[$key]}
    [ "$role" = download ] && page=${P_DOWNLOAD[$key]}
    local base="$PLUGINS_URL/${P_ID[$key]}/modules/template/"
    : > "$RUN/log/$key-$role-none.txt"
    while IFS=$'\t' read -r kind ref value file; do
        case $kind in
            mismatch)
                bad="$bad [not the same references: $ref]" ;;
            none)
                printf '%s\n' "$ref" >> "$RUN/log/$key-$role-none.txt" ;;
            file)
                all=$((all + 1))
                fragment=
                [[ "$ref" == *"#"* ]] && fragment="#${ref#*#}"
                if [ "$file" = "${P_FRONT[$key]}" ] || [ "$file" = "${P_DOWNLOAD[$key]}" ]; then
                    if [ "$value" = "$funnel$fragment" ] || { [ "$file" = "$page" ] && [ -n "$fragment" ] && [ "$value" = "$fragment" ]; }; then
                        ok=$((ok + 1))
                    else
                        bad="$bad [$ref -> '$value', not the funnel's address]"
                    fi
                    continue
                fi
                code=000
                # A delivery file: the funnel's keyed address with the file's name.
                if [[ "$value" == "$base"* ]] || { [ "$role" = download ] && [[ "$value" == "$B/?"*"${P_ID[$key]}_key="*"${P_ID[$key]}_file="* ]]; }; then
                    code=$(fetch "$RUN/pages/ref" "${value// /%20}")
                fi
                if [ "$code" = 200 ] && cmp -s "$RUN/pages/ref" "${P_SITE[$key]}/$file"; then
                    ok=$((ok + 1))
                else
                    bad="$bad [$ref -> '$value' ($code)]"
                fi ;;
        esac
    done < <(php "$E2E_DIR/php/references.php" "${P_SITE[$key]}" "$page" "${P_SITE[$key]}/$page" "$served")
    REAL_OK[$key]=$(( ${REAL_OK[$key]:-0} + ok )) REAL_ALL[$key]=$(( ${REAL_ALL[$key]:-0} + all ))
    echo "# $key: $ok of $all references in the $role page ($page) that the site can satisfy resolve"
    # A funnel page's references are counted for a site whose two pages are one page only once.
    local missing_reported
    missing_reported=$(diff <(sort -u "$RUN/log/$key-$role-none.txt") <(reported_references "$key" "$page"))
    [ -z "$missing_reported" ]
    verdict "$key: the $role page's references that name nothing in the site are exactly the ones the build reported" $? \
        "$(printf '%s' "$missing_reported" | tr '\n' ' ' | cut -c1-400)"
    [ "$all" -gt 0 ] && [ $((ok * 100)) -ge $((all * 99)) ]
    verdict "$key: at least 99% of the $role page's references answer with the site's file ($ok of $all)" $? \
        "$(printf '%s' "${bad# }" | cut -c1-600)"
}

# Nothing a visitor can derive from the front page gets the download page without the key:
# not its raw file under any spelling, not the converted page, not a link of the front page.
check_download_page_hidden() { # check_download_page_hidden KEY
    local key=$1 base="$PLUGINS_URL/${P_ID[$1]}/modules/template/" url found="" raw
    raw="${P_SITE[$key]}/${P_DOWNLOAD[$key]}"
    {
        printf '%s\n' "$base${P_DOWNLOAD[$key]// /%20}" "$base$(basename "${P_DOWNLOAD[$key]}")" \
            "$base${P_DOWNLOAD[$key],,}" "${base}converted_download.php" "${P_PERMALINK[$key]}"
        php "$INSPECT" links "$RUN/pages/$key-front.html" "${P_PERMALINK[$key]}"
    } | sort -u > "$RUN/log/$key-derived.txt"
    while IFS= read -r url; do
        [ "$(fetch "$RUN/pages/derived" "$url")" = 200 ] || continue
        if cmp -s "$RUN/pages/derived" "$raw" || grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/derived" ||
            grep -qF '#BACK#' "$RUN/pages/derived"; then
            found="$found $url"
        fi
    done < "$RUN/log/$key-derived.txt"
    local tried
    tried=$(wc -l < "$RUN/log/$key-derived.txt")
    [ -z "$found" ]
    verdict "$key: no address derived from the front page ($tried tried) serves the download page without its key" $? "$found"
}
