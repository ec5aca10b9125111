# Delivery files: what only the download page links to is handed out only at the funnel's keyed
# address. Sourced by run_e2e.sh, which provides fetch, verdict, header_of, the P_* tables and
# the WordPress addresses.

# The files the build said it holds back for buyers, one a line.
delivered_files() { # delivered_files KEY
    sed -n 's/^delivered only at the download address, with its key: //p' "$RUN/log/build-$1.log"
}

# The keyed address the served download page links to for FILE (the page was fetched with the key).
delivery_link() { # delivery_link KEY FILE
    local encoded
    encoded=$(php -r 'echo rawurlencode($argv[1]);' "$2")
    php "$INSPECT" value "$RUN/pages/$1-download.html" "//a[contains(@href, '_file=$encoded')]/@href"
}

# check_delivery KEY: each delivery file downloads whole and in part with the key, with the
# headers a download needs; nothing of it comes back without the key or with a wrong one.
check_delivery() {
    local key=$1 id=${P_ID[$1]} file url code problems="" disposition
    local -a files
    mapfile -t files < <(delivered_files "$key")
    [ "${#files[@]}" -gt 0 ]
    verdict "$key: the build holds back the files only the download page links to (${files[*]})" $?
    [ "$(header_of "$RUN/pages/$key-download.html" referrer-policy)" = no-referrer ]
    verdict "$key: the keyed download page keeps its address out of Referer headers" $?
    for file in "${files[@]}"; do
        url=$(delivery_link "$key" "$file")
        code=$(fetch "$RUN/pages/file" "$url")
        disposition=$(header_of "$RUN/pages/file" content-disposition)
        [ -n "$url" ] && [ "$code" = 200 ] && cmp -s "$RUN/pages/file" "${P_SITE[$key]}/$file" &&
            [ "$(header_of "$RUN/pages/file" content-length)" = "$(stat -c %s "${P_SITE[$key]}/$file")" ] &&
            [[ "$(header_of "$RUN/pages/file" content-type)" == application/pdf* ]] &&
            [[ "$disposition" == "attachment; filename=\""*"\"; filename*=UTF-8''$(php -r 'echo rawurlencode(basename($argv[1]));' "$file")" ]] &&
            [[ "$(header_of "$RUN/pages/file" x-robots-tag)" == noindex* ]] &&
            [ "$(header_of "$RUN/pages/file" referrer-policy)" = no-referrer ] &&
            [ "$(header_of "$RUN/pages/file" cache-control)" = "private, no-store" ]
        verdict "$key: '$file' downloads byte for byte with its key, as an attachment under its own name" $? \
            "'$url' -> $code, $(grep -i -E '^(content-|x-robots|referrer|cache)' "$RUN/pages/file.headers" | tr -d '\r' | tr '\n' ' ')"

        code=$(fetch "$RUN/pages/part" "$url" -H 'Range: bytes=100-199')
        [ "$code" = 206 ] && [ "$(stat -c %s "$RUN/pages/part")" = 100 ] &&
            cmp -s "$RUN/pages/part" <(tail -c +101 "${P_SITE[$key]}/$file" | head -c 100) &&
            [ "$(header_of "$RUN/pages/part" content-range)" = "bytes 100-199/$(stat -c %s "${P_SITE[$key]}/$file")" ]
        verdict "$key: a download of '$file' resumes: bytes 100-199 come back as 206 with those bytes" $? "$code"

        problems=""
        for bad in "${url/_key=/_key=wrong}" "$(sed -E "s/(${id}_key=)[^&]*/\\1/" <<< "$url")" \
            "${P_PERMALINK[$key]}?${id}_file=$(php -r 'echo rawurlencode($argv[1]);' "$file")"; do
            code=$(fetch "$RUN/pages/refused" "$bad")
            if [ "$code" != 403 ] || grep -qaF "$(head -c 64 "${P_SITE[$key]}/$file" | tail -c 16)" "$RUN/pages/refused"; then
                problems="$problems $bad->$code"
            fi
        done
        [ -z "$problems" ]
        verdict "$key: '$file' is refused with 403 without the key or with a wrong one" $? "$problems"
    done
    # With the right key, only the listed files: no name from the request reaches the file system.
    problems=""
    url=$(delivery_link "$key" "${files[0]}")
    for name in ../plugin.php ../../../wp-config.php css/style.css "$(basename "${files[0]}")" "/${files[0]}"; do
        code=$(fetch "$RUN/pages/refused" "$(sed -E "s|(${id}_file=)[^&]*|\\1$(php -r 'echo rawurlencode($argv[1]);' "$name")|" <<< "$url")")
        if [ "$code" != 404 ] || grep -qaE 'DB_PASSWORD|<\?php' "$RUN/pages/refused"; then problems="$problems $name->$code"; fi
    done
    [ -z "$problems" ]
    verdict "$key: with the key, a name that is not a listed delivery file gets 404 and nothing else" $? "$problems"
    local listed
    listed=$(grep -o "value=\"[^\"]*${id}_file=" "$RUN/pages/$key-edit.html" | wc -l)
    [ "$listed" = "${#files[@]}" ]
    verdict "$key: the funnel's edit screen lists each delivery file's keyed address" $? "$listed of ${#files[@]}"
}

# Nothing of a delivery file comes back at the addresses its public copy would have had, nor from
# the plugin's folders themselves (a listing would name the secret folder).
check_delivery_hidden() { # check_delivery_hidden KEY
    local key=$1 base="$PLUGINS_URL/${P_ID[$1]}" file url code found=""
    local -a files
    mapfile -t files < <(delivered_files "$key")
    for file in "${files[@]}"; do
        for url in "$base/modules/template/$(php -r 'echo implode("/", array_map("rawurlencode", explode("/", $argv[1])));' "$file")" \
            "$base/modules/template/${file// /%20}" "$base/$(basename "$file")"; do
            code=$(fetch "$RUN/pages/public" "$url")
            [ "$code" = 200 ] && cmp -s "$RUN/pages/public" "${P_SITE[$key]}/$file" && found="$found $url"
        done
    done
    for url in "$base/" "$base/modules/" "$base/modules/template/" "$base/modules/delivery.php"; do
        code=$(fetch "$RUN/pages/public" "$url")
        if [ "$code" = 200 ] && grep -q 'delivery-' "$RUN/pages/public"; then found="$found $url($code)"; fi
    done
    [ -z "$found" ]
    verdict "$key: no public address of the plugin hands out a delivery file or names its folder" $? "$found"
}

# Fetches URL to OUT and prints the status and the request's peak memory as the test site's
# must-use plugin logs it when the request ends (which may be a moment after the last byte arrived).
fetch_logging_peak() { # fetch_logging_peak OUT URL
    local before i
    before=$(cat "$WP_MEMORY_LOG" 2> /dev/null | wc -l)
    printf '%s ' "$(fetch "$1" "$2")"
    for i in $(seq 1 50); do
        [ "$(cat "$WP_MEMORY_LOG" 2> /dev/null | wc -l)" -gt "$before" ] && break
        sleep 0.1
    done
    sed -n "$((before + 1))p" "$WP_MEMORY_LOG" 2> /dev/null
}

# A file larger than PHP's memory_limit streams whole, and the request stays within a small
# fixed amount of memory: the test adds it to the installed plugin's list of delivery files.
check_delivery_streams() { # check_delivery_streams KEY
    local key=$1 id=${P_ID[$1]} folder list limit size url code peak baseline
    list="$PLUGINS_DIR/$id/modules/delivery.php"
    folder=$(sed -n "s/.*'folder' => '\\(delivery-[0-9a-f]*\\)'.*/\\1/p" "$list")
    limit=$WP_PHP_MEMORY_LIMIT
    size=$(( $(numfmt --from=iec "$limit") + 64 * 1024 * 1024 ))
    # Sparse, with bytes of its own at both ends.
    truncate -s "$size" "$PLUGINS_DIR/$id/modules/$folder/big.bin"
    printf 'first bytes' | dd of="$PLUGINS_DIR/$id/modules/$folder/big.bin" conv=notrunc status=none
    printf 'last bytes' | dd of="$PLUGINS_DIR/$id/modules/$folder/big.bin" conv=notrunc seek=$((size - 10)) bs=1 status=none
    cp "$list" "$RUN/log/delivery-list.php"
    # The list's inner "files" array closes on a line of its own, indented once.
    sed -i -E "s|^([[:space:]]+)\),$|\1\1'big.bin',\n\1),|" "$list"
    url=$(delivery_link "$key" "$(delivered_files "$key" | head -n 1)")
    read -r code baseline < <(fetch_logging_peak "$RUN/pages/small" "$url")
    url=$(sed -E "s/(${id}_file=)[^&]*/\\1big.bin/" <<< "$url")
    read -r code peak < <(fetch_logging_peak "$RUN/pages/big" "$url")
    [ "$code" = 200 ] && cmp -s "$RUN/pages/big" "$PLUGINS_DIR/$id/modules/$folder/big.bin" &&
        [ -n "$peak" ] && [ -n "$baseline" ] && [ $((peak - baseline)) -lt $((4 * 1024 * 1024)) ]
    verdict "$key: a $((size / 1024 / 1024)) MB file (memory_limit $limit) streams whole within $(( (${peak:-0} - ${baseline:-0}) / 1024 )) KB more than a small one" $? \
        "$code, peak ${peak:-?} against ${baseline:-?}"
    rm -f "$RUN/pages/big" "$PLUGINS_DIR/$id/modules/$folder/big.bin"
    cp "$RUN/log/delivery-list.php" "$list"
}
