# What a site owner meets in wp-admin besides the funnel pages themselves: the first steps after
# activation, the menu, the help tab, the funnel list, an address that stays put, and the page a
# wrong key gets. Sourced by run_e2e.sh, which provides fetch, verdict, header_of, in_admin,
# row_link, save_funnel, the P_* tables and the WordPress addresses.

# The text of a plugin's first-steps notice on a saved admin page; nothing when it is not there.
welcome_text() { # welcome_text PAGE_FILE ID
    php "$INSPECT" value "$1" "//div[@id='$2-welcome']" | tr -s ' \n\t' ' '
}

# check_first_steps: right after activation every made plugin shows its first steps; the close
# button (example) and the link (nested) dismiss them for good, a plugin switched off and on
# again stays quiet, and a notice nobody dismissed (single) is still there.
check_first_steps() {
    local key id type page="$RUN/pages/first-steps.html" add_new items action nonce answer forged code location
    fetch "$page" "$A/wp-admin/" -b "$JAR" > /dev/null
    for key in "${PLUGINS[@]}"; do
        id=${P_ID[$key]} type=${P_ID[$key],,}
        add_new=$(php "$INSPECT" value "$page" "//div[@id='$id-welcome']//a[contains(@href,'post-new.php?post_type=$type')]")
        items=$(php "$INSPECT" count "$page" "//div[@id='$id-welcome']//ol/li")
        [ "$add_new" = "Add New Funnel" ] && [ "$items" = 3 ] && [[ "$(welcome_text "$page" "$id")" == *"[download_url]"* ]]
        verdict "$key: after activation the dashboard shows three first steps and a link to Add New Funnel" $? \
            "link '$add_new', $items steps: $(welcome_text "$page" "$id" | cut -c1-200)"
    done

    id=${P_ID[example]}
    action=$(php "$INSPECT" value "$page" "//div[@id='$id-welcome']/@data-action")
    nonce=$(php "$INSPECT" value "$page" "//div[@id='$id-welcome']/@data-nonce")
    answer=$(curl -sS --max-time 30 -b "$JAR" --data-urlencode "action=$action" --data-urlencode "_ajax_nonce=$nonce" \
        "$A/wp-admin/admin-ajax.php")
    forged=$(curl -sS --max-time 30 -o /dev/null -w '%{http_code}' -b "$JAR" --data-urlencode "action=$action" \
        --data-urlencode "_ajax_nonce=x$nonce" "$A/wp-admin/admin-ajax.php")
    [ "$answer" = '{"success":true}' ] && [ "$forged" = 403 ]
    verdict "example: the notice's close button dismisses it in the background, and only with its nonce" $? \
        "answer '$answer', forged nonce $forged"

    id=${P_ID[nested]}
    code=$(fetch "$RUN/pages/dismissed.html" "$(in_admin "$(php "$INSPECT" value "$page" "//div[@id='$id-welcome']//a[text()='Dismiss']/@href")")" \
        -b "$JAR" -e "$A/wp-admin/index.php")
    location=$(header_of "$RUN/pages/dismissed.html" location)
    [ "$code" = 302 ] && [ "$location" = "$A/wp-admin/index.php" ]
    verdict "nested: the notice's Dismiss link works without script and comes back to the page it was on" $? "$code -> $location"

    # Switched off and on again, the dismissed plugin does not show its first steps again.
    fetch "$RUN/pages/off.html" "$(row_link "${P_FILE[example]}" deactivate)" -b "$JAR" > /dev/null
    fetch "$RUN/pages/on.html" "$(row_link "${P_FILE[example]}" activate)" -b "$JAR" > /dev/null
    fetch "$page" "$A/wp-admin/" -b "$JAR" > /dev/null
    fetch "$RUN/pages/first-steps-plugins.html" "$A/wp-admin/plugins.php" -b "$JAR" > /dev/null
    [ -z "$(welcome_text "$page" "${P_ID[example]}")" ] && [ -z "$(welcome_text "$page" "${P_ID[nested]}")" ] &&
        [ -z "$(welcome_text "$RUN/pages/first-steps-plugins.html" "${P_ID[example]}")" ] &&
        [ -n "$(welcome_text "$page" "${P_ID[single]}")" ]
    verdict "dismissed first steps stay away, after switching the plugin off and on too; one not dismissed stays" $? \
        "example '$(welcome_text "$page" "${P_ID[example]}" | cut -c1-60)', single '$(welcome_text "$page" "${P_ID[single]}" | cut -c1-60)'"
}

# check_menu KEY DASHBOARD_FILE: the plugin's menu reads its name, with "Funnels" first beneath it.
check_menu() {
    local key=$1 type=${P_ID[$1],,} first
    first=$(php "$INSPECT" value "$2" "//li[@id='menu-posts-$type']//ul[contains(@class,'wp-submenu')]/li[contains(@class,'wp-first-item')]/a")
    [ "$first" = Funnels ]
    verdict "$key: beneath the plugin's name in the menu, the first entry is \"Funnels\"" $? "'$first'"
}

# check_help KEY PAGE_FILE WHERE: the funnel screen carries the help tab with the first steps.
check_help() {
    local key=$1 help
    help=$(php "$INSPECT" value "$2" "//div[@id='tab-panel-${P_ID[$1]}_help']" | tr -s ' \n\t' ' ')
    [[ "$help" == *"[download_url]"* ]] && [[ "$help" == *"return"* ]] && [[ "$help" == *"Make a new key"* ]]
    verdict "$key: the $3 has a help tab with the first steps" $? "'$(cut -c1-200 <<< "$help")'"
}

# check_list_row KEY LIST_FILE POST ADDRESS FRONT_STATE BACK_STATE: the funnel list's row shows
# the address with its Copy button and whether each tag is filled in.
check_list_row() {
    local key=$1 list=$2 post=$3 id=${P_ID[$1]} shown copy tags
    shown=$(php "$INSPECT" value "$list" "//tr[@id='post-$post']//td[contains(@class,'column-${id}_address')]//input/@value")
    copy=$(php "$INSPECT" value "$list" "//tr[@id='post-$post']//td[contains(@class,'column-${id}_address')]//button[@data-${id,,}-copy]")
    tags=$(php "$INSPECT" value "$list" "//tr[@id='post-$post']//td[contains(@class,'column-${id}_tags')]" | tr -s ' \n\t' ' ')
    [ -n "$shown" ] && [ "$shown" = "$4" ] && [ "$copy" = Copy ] &&
        [[ "$tags" == *"Buy button or opt-in form: $5"* ]] && [[ "$tags" == *"Download links: $6"* ]]
    verdict "$key: the funnel list shows funnel $post's download address with a Copy button, the buy button $5 and the download links $6" $? \
        "address '$shown' (edit screen '$4'), button '$copy', tags '$tags'"
}

# check_address_before_publishing KEY: a new funnel's edit screen shows its address before
# anything is saved and says that it works once published; the list says so too; the address
# answers only once the funnel is published, and it is the same address then.
check_address_before_publishing() {
    local key=$1 id=${P_ID[$1]} type=${P_ID[$1],,} new="$RUN/pages/$1-new.html" address said location post code list after
    fetch "$new" "$A/wp-admin/post-new.php?post_type=$type" -b "$JAR" > /dev/null
    address=$(php "$INSPECT" value "$new" "//input[@id='${id}_download_url']/@value")
    said=$(php "$INSPECT" value "$new" "//code[@id='${id}_download_key']/.." | tr -s ' \n\t' ' ')
    [[ "$address" == *"${id}_key="* ]] && [[ "$said" == *"once you publish"* ]] &&
        [ "$(php "$INSPECT" value "$new" "//button[@data-${id,,}-copy='${id}_download_url']")" = Copy ]
    verdict "$key: a new funnel's edit screen shows its download address with a Copy button before it is saved, and says when it starts working" $? \
        "address '$address', '$said'"

    location=$(save_funnel "$key" "$JAR" "$A/wp-admin/post-new.php?post_type=$type" "post_title=Draft for later" "${id}_mode=free" "save=Save Draft")
    post=$(sed -n 's/.*[?&]post=\([0-9]*\).*/\1/p' <<< "$location")
    list="$RUN/pages/$key-draft-list.html"
    fetch "$list" "$A/wp-admin/edit.php?post_type=$type" -b "$JAR" > /dev/null
    address=$(php "$INSPECT" value "$RUN/pages/$key-form.html" "//input[@id='${id}_download_url']/@value")
    check_list_row "$key" "$list" "$post" "$address" empty empty
    [[ "$(php "$INSPECT" value "$list" "//tr[@id='post-$post']//td[contains(@class,'column-${id}_address')]")" == *"once the funnel is published"* ]]
    verdict "$key: the list says that a draft's address works once the funnel is published" $?
    local before published
    code=$(fetch "$RUN/pages/draft-download.html" "$address")
    ! grep -qF 'draft back tag' "$RUN/pages/draft-download.html"
    before=$?

    save_funnel "$key" "$JAR" "$A/wp-admin/post.php?post=$post&action=edit" "${id}_back_tag=<p>draft back tag</p>" \
        "publish=Publish" > /dev/null
    fetch "$RUN/pages/draft-edit.html" "$A/wp-admin/post.php?post=$post&action=edit" -b "$JAR" > /dev/null
    after=$(php "$INSPECT" value "$RUN/pages/draft-edit.html" "//input[@id='${id}_download_url']/@value")
    published=$(fetch "$RUN/pages/draft-download.html" "$address")
    [ "$before" = 0 ] && [ "$code" != 200 ] && [ "$after" = "$address" ] && [ "$published" = 200 ] &&
        grep -qF 'draft back tag' "$RUN/pages/draft-download.html"
    verdict "$key: the address shown before the first save does not answer for a draft, and is the address that works once published" $? \
        "draft $code, then '$after' -> $published"
}

# The front page's buy button as the example funnel has it: its return address, as the served page holds it.
return_address() { # return_address PAGE_FILE
    php "$INSPECT" value "$1" "//form[@class='buy']//input[@name='return']/@value"
}

# check_return_address KEY WHEN: the sales page's [download_url] is the edit screen's download
# address, and that address opens the download page with its links.
check_return_address() {
    local key=$1 id=${P_ID[$1]} edit="$RUN/pages/$1-return-edit.html" front="$RUN/pages/$1-return-front.html" permalink shown address code
    fetch "$edit" "$A/wp-admin/post.php?post=${P_POST[$key]}&action=edit" -b "$JAR" > /dev/null
    permalink=$(php "$INSPECT" value "$edit" "//span[@id='sample-permalink']/a/@href")
    address=$(php "$INSPECT" value "$edit" "//input[@id='${id}_download_url']/@value")
    fetch "$front" "$permalink" > /dev/null
    shown=$(return_address "$front")
    code=$(fetch "$RUN/pages/$key-return-download.html" "$shown")
    [ -n "$shown" ] && [ "$shown" = "$address" ] && [ "$code" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/$key-return-download.html"
    verdict "$key: $2, the buy button's [download_url] is the funnel's download address and opens the download page" $? \
        "button '$shown', edit screen '$address', $code"
}

# check_slug_change KEY: a new slug keeps the download address, the old address (with a key
# too) is sent on to the new one, the key going along.
check_slug_change() {
    local key=$1 id=${P_ID[$1]} old_permalink=${P_PERMALINK[$1]} old_keyed new_permalink code code2 location
    old_keyed="$old_permalink?${id}_key=$(sed -n "s/.*${id}_key=\([^&]*\).*/\1/p" <<< "$(return_address "$RUN/pages/$key-return-front.html")")"
    save_funnel "$key" "$JAR" "$A/wp-admin/post.php?post=${P_POST[$key]}&action=edit" "post_name=moved-${P_POST[$key]}" \
        "save=Update" > /dev/null
    fetch "$RUN/pages/moved-edit.html" "$A/wp-admin/post.php?post=${P_POST[$key]}&action=edit" -b "$JAR" > /dev/null
    new_permalink=$(php "$INSPECT" value "$RUN/pages/moved-edit.html" "//span[@id='sample-permalink']/a/@href")
    [ -n "$new_permalink" ] && [ "$new_permalink" != "$old_permalink" ]
    verdict "$key: the funnel's slug changes on its edit screen ($new_permalink)" $?
    check_return_address "$key" "after a slug change"
    code=$(fetch "$RUN/pages/old-keyed.html" "$old_keyed")
    location=$(header_of "$RUN/pages/old-keyed.html" location)
    code2=$(fetch "$RUN/pages/old-keyed-followed.html" "$old_keyed" -L)
    [ "$code" = 301 ] && [[ "$location" == "$new_permalink?${id}_key="* ]] && [ "$code2" = 200 ] &&
        grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/old-keyed-followed.html"
    verdict "$key: a download address made with the old slug is sent on to the new one with its key, and opens the download page" $? \
        "$code -> '$location', followed: $code2"
    P_PERMALINK[$key]=$new_permalink
}

# check_refusal_page KEY THEME_MARKS...: a wrong key gets 403 in the theme's look, naming no
# one's e-mail address (anyone may see it), kept out of search engines and caches; each THEME_MARK is an XPath
# that the theme's header or footer answers.
check_refusal_page() {
    local key=$1 theme page code cache robots meta title missing="" mark contact
    shift
    # Worked out before the checks: a command substitution in verdict's words would reset $?.
    theme=$(wp_php stylesheet 2> /dev/null)
    page="$RUN/pages/$key-refusal-$theme.html"
    code=$(fetch "$page" "${P_PERMALINK[$key]}?${P_ID[$key]}_key=not-the-key")
    cache=$(header_of "$page" cache-control)
    robots=$(header_of "$page" x-robots-tag)
    meta=$(php "$INSPECT" value "$page" "//meta[@name='robots']/@content")
    contact=$(php "$INSPECT" count "$page" "//a[starts-with(@href,'mailto:')]")
    title=$(php "$INSPECT" value "$page" "//title")
    for mark in "$@"; do
        [ "$(php "$INSPECT" count "$page" "$mark")" -gt 0 ] || missing="$missing $mark"
    done
    [ "$code" = 403 ] && [ "$cache" = "private, no-store" ] && [[ "$robots" == noindex* ]] && [[ "$meta" == *noindex* ]] &&
        [ "$contact" = 0 ] && ! grep -qF admin@example.invalid "$page" && [[ "$title" == "This download address does not work"*"Vantor Test Site" ]] &&
        [ -z "$missing" ] && ! grep -qF "${P_BACK_TAG[$key]}" "$page"
    verdict "$key: a wrong key gets 403 in the site's own look ($theme) naming no e-mail address, noindex and Cache-Control: private, no-store" $? \
        "$code, cache '$cache', robots '$robots', meta '$meta', mailto links $contact, title '$title', missing:$missing"
}

# make_classic_theme: a small classic theme (header.php and footer.php) in the site's themes folder.
make_classic_theme() {
    local dir
    dir=$(wp_php themes-dir)/e2e-classic
    mkdir -p "$dir"
    printf '%s\n' '/*' 'Theme Name: E2E Classic' '*/' > "$dir/style.css"
    printf '%s\n' '<?php get_header(); ?><p>index</p><?php get_footer();' > "$dir/index.php"
    printf '%s\n' '<?php' "add_action( 'after_setup_theme', function () { add_theme_support( 'title-tag' ); } );" > "$dir/functions.php"
    printf '%s\n' '<!DOCTYPE html><html <?php language_attributes(); ?>><head><?php wp_head(); ?></head>' \
        '<body <?php body_class(); ?>><header id="e2e-classic-header"><?php bloginfo( "name" ); ?></header>' > "$dir/header.php"
    printf '%s\n' '<footer id="e2e-classic-footer">classic footer</footer><?php wp_footer(); ?></body></html>' > "$dir/footer.php"
}
