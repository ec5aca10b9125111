<?php
// Runs the filled template's own functions against small stand-ins for the WordPress functions
// they call, and prints one JSON list of [passed, what] pairs: the funnel save, the post type's
// labels, the download key check, the addresses made from the key and the funnel list.
// Usage: php exercise_template.php FILLED_PLUGIN_PHP IDENTIFIER NAME

list( , $plugin, $id, $name ) = $argv + array( null, '', '', '' );

$results = array();
function expect( $ok, $what ) {
    global $results;
    $results[] = array( (bool) $ok, $what );
}

// A notice or warning is a fault of the template, never noise.
set_error_handler(
    function ( $level, $message, $file, $line ) {
        expect( false, "no PHP notice or warning: $message ($file:$line)" );
        return true;
    }
);

define( 'ABSPATH', '/' );
define( 'MINUTE_IN_SECONDS', 60 );

// What the stand-ins were asked, for the checks to look at.
$wp = array(
    'meta'       => array(),
    'post_types' => array(),
    'nonces'     => array(),
    'transients' => array(),
    'query_vars' => array(),
    'status'     => array(),
);

function add_action() {}
function add_filter() {}
function register_activation_hook() {}
function register_deactivation_hook() {}

function esc_html( $text ) {
    return htmlspecialchars( (string) $text, ENT_QUOTES, 'UTF-8' );
}
function esc_attr( $text ) {
    return esc_html( $text );
}
function esc_textarea( $text ) {
    return esc_html( $text );
}
function esc_url( $url ) {
    return esc_html( $url );
}
function __( $text ) {
    return $text;
}
function esc_html__( $text ) {
    return esc_html( $text );
}
function register_post_type( $type, $args ) {
    $GLOBALS['wp']['post_types'][ $type ] = $args;
}

function get_post_meta( $post_id, $key, $single ) {
    return $GLOBALS['wp']['meta'][ $post_id ][ $key ] ?? '';
}
function update_post_meta( $post_id, $key, $value ) {
    // WordPress unslashes what it stores.
    $GLOBALS['wp']['meta'][ $post_id ][ $key ] = wp_unslash( $value );
}
function wp_unslash( $value ) {
    return is_string( $value ) ? stripslashes( $value ) : $value;
}
function wp_slash( $value ) {
    return is_string( $value ) ? addslashes( $value ) : $value;
}
function sanitize_text_field( $text ) {
    return trim( (string) $text );
}
// Every capability unless the check names some that the user lacks.
function current_user_can( $cap, ...$args ) {
    $GLOBALS['wp']['asked'][] = array_merge( array( $cap ), $args );
    return ! in_array( $cap, $GLOBALS['wp']['lacks'] ?? array(), true );
}
function get_current_user_id() {
    return 5;
}
// Stands for kses: drops scripts and event handlers, and marks what went through it.
function wp_kses( $text, $allowed ) {
    return 'kses(' . preg_replace( array( '#<script\b.*?</script>#is', '/\s+on\w+\s*=\s*("[^"]*"|\S+)/i' ), '', $text ) . ')';
}
function wp_kses_allowed_html() {
    return array(
        'a' => array( 'href' => true ),
        'p' => array( 'class' => true ),
    );
}
function wp_is_post_revision() {
    return false;
}
function wp_is_post_autosave() {
    return false;
}
function wp_generate_password( $length ) {
    return substr( bin2hex( random_bytes( $length ) ), 0, $length );
}
function get_permalink( $post ) {
    return 'http://127.0.0.1/funnel/slug-of-' . ( is_object( $post ) ? $post->ID : $post ) . '/';
}
function home_url( $path ) {
    return 'http://127.0.0.1' . $path;
}
// As in WordPress: values go in as given (already encoded), after any the address holds.
function add_query_arg( $args, $url ) {
    $pairs = array();
    foreach ( $args as $name => $value ) {
        $pairs[] = $name . '=' . $value;
    }
    return $url . ( false === strpos( $url, '?' ) ? '?' : '&' ) . implode( '&', $pairs );
}
function get_transient( $name ) {
    return $GLOBALS['wp']['transients'][ $name ] ?? false;
}
function set_transient( $name, $value ) {
    $GLOBALS['wp']['transients'][ $name ] = $value;
}
function delete_transient( $name ) {
    unset( $GLOBALS['wp']['transients'][ $name ] );
}
function get_query_var( $name ) {
    return $GLOBALS['wp']['query_vars'][ $name ] ?? '';
}
function get_post() {
    return $GLOBALS['wp']['current_post'] ?? null;
}
// Enough of the class for the template's instanceof checks.
#[AllowDynamicProperties]
class WP_Post {
    public function __construct( array $fields ) {
        foreach ( $fields as $name => $value ) {
            $this->$name = $value;
        }
    }
}
function get_post_status( $post_id ) {
    return $GLOBALS['wp']['status'][ $post_id ] ?? 'publish';
}

// A nonce is good for the one action it was made for, as in WordPress.
function vantor_nonce_for( $action ) {
    return 'nonce-' . md5( $action );
}
function wp_nonce_field( $action, $name ) {
    $GLOBALS['wp']['nonces'][ $name ] = vantor_nonce_for( $action );
    printf( '<input type="hidden" name="%s" value="%s" />', esc_attr( $name ), esc_attr( vantor_nonce_for( $action ) ) );
}
function wp_verify_nonce( $nonce, $action ) {
    return is_string( $nonce ) && vantor_nonce_for( $action ) === $nonce ? 1 : false;
}

require $plugin;

$fn = function ( $suffix ) use ( $id ) {
    return $id . '_' . $suffix;
};

// The labels: the plugin name is shown in the admin menu and bar, so markup in it arrives as text.
$fn( 'register_post_type' )();
$labels = $wp['post_types'][ strtolower( $id ) ]['labels'] ?? array();
expect( esc_html( $name ) === ( $labels['name'] ?? null ) && esc_html( $name ) === ( $labels['menu_name'] ?? null ), 'the post type is named after the plugin, escaped' );
$raw = array();
foreach ( $labels as $label => $text ) {
    if ( preg_match( '/[<>"]|&(?![a-z]+;|#[0-9]+;)/i', $text ) ) {
        $raw[] = $label;
    }
}
expect( $labels && ! $raw, 'every label of the post type is escaped' . ( $raw ? ': ' . implode( ', ', $raw ) : '' ) );

// The edit form as rendered for funnel 7, then posted back as a browser would post it.
$post = new WP_Post(
    array(
        'ID'          => 7,
        'post_type'   => strtolower( $id ),
        'post_status' => 'draft',
    )
);
ob_start();
$fn( 'render_meta_box' )( $post );
$form = ob_get_clean();
preg_match_all( '/name="([^"]+)"/', $form, $fields );
$front     = $fn( 'field_name' )( 'front_tag' );
$front_key = $fn( 'meta_key' )( 'front_tag' );
expect( count( $wp['nonces'] ) === 1 && in_array( $front, $fields[1], true ), 'the edit form holds a nonce and the front tag field' );
$nonce_field = (string) key( $wp['nonces'] );
$own_nonce   = $wp['nonces'][ $nonce_field ];
ob_start();
$fn( 'render_meta_box' )( new WP_Post( array_merge( get_object_vars( $post ), array( 'ID' => 8 ) ) ) );
ob_end_clean();
$other_nonce = $wp['nonces'][ $nonce_field ];

// As WordPress runs the save hooks: the one that gives a key first, then the form's.
$save = function ( array $form_post, array $meta = array() ) use ( $fn, $post, $front ) {
    $GLOBALS['wp']['meta'] = array( $post->ID => $meta );
    $_POST                 = $form_post;
    $fn( 'ensure_key' )( $post->ID );
    $fn( 'save_post' )( $post->ID, $post );
    return $GLOBALS['wp']['meta'][ $post->ID ];
};
$key_field = $fn( 'meta_key' )( 'download_key' );
$tag   = '<a href="https://pay.example/buy?id=1&amp;x=2">Buy now</a>';
$saved = $save(
    array(
        $nonce_field => $own_nonce,
        $front       => wp_slash( $tag ),
    )
);
expect( ( $saved[ $front_key ] ?? null ) === $tag, 'the form posted with its own nonce saves the tag as typed' );
expect( 0 === strpos( $front_key, '_' ) && 0 === strpos( $key_field, '_' ), 'the tags and the key are kept in protected (underscored) meta' );
$created = $save( array() );
expect( strlen( $created[ $key_field ] ?? '' ) >= 20, 'a funnel has its download key from its first save, the empty draft of a new funnel included' );
$kept = $save( array( $nonce_field => $own_nonce, $front => $tag ), array( $key_field => 'Kept9key' ) );
expect( 'Kept9key' === ( $kept[ $key_field ] ?? null ) && ! $wp['transients'], 'saving the form keeps the key' );
$renewed = $save( array( $nonce_field => $own_nonce, $fn( 'field_name' )( 'new_key' ) => '1' ), array( $key_field => 'Kept9key' ) );
expect( 'Kept9key' !== ( $renewed[ $key_field ] ?? 'Kept9key' ) && strlen( $renewed[ $key_field ] ) >= 20, 'ticking "Make a new key" replaces the key' );
// The "updated" message as the edit screen shows it after a save, for the funnel being edited.
$saved_message = function () use ( $fn, $id ) {
    return $fn( 'updated_messages' )( array() )[ strtolower( $id ) ][1];
};
$wp['current_post'] = $post;
$first_view         = $saved_message();
$second_view        = $saved_message();
$wp['transients']   = array( $fn( 'renewed_flag' )( 8 ) => 1 );
$other_funnel       = $saved_message();
expect( false !== strpos( $first_view, 'no longer work' ) && false === strpos( $second_view, 'no longer work' ), 'the message after a new key says once that the addresses given out before stop working' );
expect( false === strpos( $other_funnel, 'no longer work' ), 'a new key of another funnel is not reported on this one' );

$forged = array(
    'a forged nonce'                     => 'nonce-' . md5( 'something else' ),
    'the nonce of another funnel\'s form' => $other_nonce,
    'an empty nonce'                     => '',
    'a nonce sent as an array'           => array( $own_nonce ),
);
expect( $other_nonce !== $own_nonce, 'each funnel\'s form has its own nonce' );
// Nothing saved: not the tag, and no new key either.
$untouched = array( $key_field => 'Kept9key' );
$new_key   = $fn( 'field_name' )( 'new_key' );
foreach ( $forged as $what => $nonce ) {
    expect( $untouched === $save( array( $nonce_field => $nonce, $front => $tag, $new_key => '1' ), $untouched ), "the form posted with $what saves nothing" );
}
expect( $untouched === $save( array( $front => $tag, $new_key => '1' ), $untouched ), 'the form posted without its nonce saves nothing' );
// Its own nonce is no pass for a user who may not edit the funnel.
$wp['lacks'] = array( 'edit_post' );
expect( $untouched === $save( array( $nonce_field => $own_nonce, $front => $tag, $new_key => '1' ), $untouched ), 'a user who may not edit the funnel saves nothing, even with its nonce' );
ob_start();
$fn( 'render_meta_box' )( $post );
$fn( 'list_cell' )( $id . '_address', 7 );
$hidden = ob_get_clean();
expect( '' === $hidden, 'a user who may not edit the funnel sees neither its fields, its key nor its address: ' . substr( $hidden, 0, 80 ) );

// A user without unfiltered_html: the tag goes through the allowed list, what went is noted
// for the notice, and the page filters the tag again as it shows it; an Administrator's stays.
$wp['lacks']      = array( 'unfiltered_html' );
$wp['transients'] = array();
$script_tag       = '<form action="https://pay.example/"><script>x()</script><input name="a" onclick="y()"></form>';
$filtered         = $save( array( $nonce_field => $own_nonce, $front => $script_tag ) );
expect( 'kses(<form action="https://pay.example/"><input name="a"></form>)' === ( $filtered[ $front_key ] ?? null ) && '0' === ( $filtered[ $fn( 'meta_key' )( 'trusted_tags' ) ] ?? null ), 'a tag saved without unfiltered_html goes through the allowed list and is not trusted' );
$noted = $wp['transients'][ $fn( 'removed_flag' )( 7 ) ] ?? array();
expect( in_array( '<script>', $noted, true ) && in_array( 'onclick on <input>', $noted, true ), 'what kses would remove is noted for the notice: ' . json_encode( $noted ) );
$wp['meta'][7][ $front_key ] = '<p>shown</p>';
expect( 'kses(<p>shown</p>)' === $fn( 'shown_tag' )( 7, 'front_tag' ), 'an untrusted tag is filtered again where the page shows it' );
$wp['lacks'] = array();
$trusted     = $save( array( $nonce_field => $own_nonce, $front => $script_tag ) );
expect( $script_tag === ( $trusted[ $front_key ] ?? null ) && '1' === ( $trusted[ $fn( 'meta_key' )( 'trusted_tags' ) ] ?? null ), 'a tag saved with unfiltered_html is kept as written and trusted' );
$wp['meta'] = array( 7 => $trusted );
expect( $script_tag === $fn( 'shown_tag' )( 7, 'front_tag' ), 'a trusted tag is shown as written' );

// The allowed list keeps payment and opt-in forms and lets no script or event handler in.
$allowed = $fn( 'allowed_tag_html' )();
$needed  = array(
    'form'   => array( 'action', 'method', 'target' ),
    'input'  => array( 'type', 'name', 'value', 'checked', 'placeholder', 'src', 'alt', 'width', 'height', 'border', 'id', 'class', 'style' ),
    'button' => array( 'type', 'name', 'value' ),
    'select' => array( 'name' ),
    'option' => array( 'value', 'selected' ),
    'img'    => array( 'src', 'alt', 'width', 'height', 'border' ),
    'a'      => array( 'href', 'rel', 'target' ),
    'label'  => array( 'for' ),
);
$missing = array();
foreach ( $needed as $element => $attributes ) {
    foreach ( $attributes as $attribute ) {
        if ( empty( $allowed[ $element ][ $attribute ] ) ) {
            $missing[] = "$attribute on $element";
        }
    }
}
expect( ! $missing && isset( $allowed['textarea'], $allowed['p'] ), 'the allowed list keeps forms, fields, buttons, images and links with their attributes' . ( $missing ? ': ' . implode( ', ', $missing ) : '' ) );
$unsafe = array_intersect( array( 'script', 'iframe', 'object', 'embed', 'style', 'link', 'meta', 'base' ), array_keys( $allowed ) );
foreach ( $allowed as $element => $attributes ) {
    foreach ( array_keys( $attributes ) as $attribute ) {
        if ( 0 === stripos( $attribute, 'on' ) || 'formaction' === $attribute ) {
            $unsafe[] = "$attribute on $element";
        }
    }
}
expect( ! $unsafe, 'the allowed list holds no script element and no event handler' . ( $unsafe ? ': ' . implode( ', ', $unsafe ) : '' ) );
$removed = $fn( 'removed_parts' )(
    '<form action="x"><SCRIPT src="a.js"></script><input type="hidden" name="a" onClick=\'b()\'><input name="c"><img src="p.png" onerror=z></form>',
    '<form action="x"><input type="hidden" name="a"><input name="c"><img src="p.png"></form>'
);
expect( array( '<script>', 'src on <script>', 'onclick on <input>', 'onerror on <img>' ) === $removed, 'the notice names each element and attribute that went, and nothing that stayed: ' . json_encode( $removed ) );
expect( array() === $fn( 'removed_parts' )( '<p class="a">x &amp; y</p>', '<p class="a">x &amp; y</p>' ), 'nothing is named when nothing went' );

// The funnel type's own capabilities, worked out per funnel by WordPress.
$type_args = $wp['post_types'][ strtolower( $id ) ] ?? array();
$role_caps = $fn( 'role_capabilities' )();
expect( ! empty( $type_args['map_meta_cap'] ) && $fn( 'capabilities' )() === ( $type_args['capabilities'] ?? null ), 'the funnel type has its own capabilities, mapped per funnel' );
$foreign = array_filter( $role_caps, function ( $cap ) use ( $id ) { return false === strpos( $cap, strtolower( $id ) . '_funnel' ); } );
expect( in_array( 'edit_others_' . strtolower( $id ) . '_funnels', $role_caps, true ) && ! $foreign && ! array_intersect( array( 'edit_' . strtolower( $id ) . '_funnel', 'read', 'edit_posts' ), $role_caps ), 'roles are given the type\'s own capabilities only, no per-funnel or core capability' );

// The download key check, on a funnel holding a key and on one that has none yet.
$wp['meta'] = array( 7 => array( $fn( 'meta_key' )( 'download_key' ) => 'Zq3v9XkP0e7Lm2Rt' ) );
$matches    = $fn( 'key_matches' );
expect( true === $matches( 7, 'Zq3v9XkP0e7Lm2Rt' ), 'the right key opens the download page' );
expect( false === $matches( 7, 'Zq3v9XkP0e7Lm2Ru' ), 'a wrong key does not' );
expect( false === $matches( 7, 'zq3v9xkp0e7lm2rt' ), 'the key in another case does not' );
expect( false === $matches( 7, '' ), 'an empty key does not' );
expect( false === $matches( 7, array( 'Zq3v9XkP0e7Lm2Rt' ) ), 'a key sent as an array does not' );
expect( false === $matches( 7, null ), 'no key at all does not' );
expect( false === $matches( 9, '' ), 'an empty key does not open a funnel that has no key yet' );
$wp['meta'] = array( 7 => array( $fn( 'meta_key' )( 'download_key' ) => '0e1234' ) );
expect( false === $matches( 7, '0e9876' ), 'keys are compared as text, not as numbers' );

// The addresses made from the key: from the funnel's number, never from its slug.
$type       = strtolower( $id );
$key_arg    = $fn( 'key_arg' )();
$wp['meta'] = array( 7 => array( $key_field => 'Zq3v9XkP0e7Lm2Rt' ) );
$address    = $fn( 'download_url' )( $post );
expect( "http://127.0.0.1/?post_type=$type&p=7&$key_arg=Zq3v9XkP0e7Lm2Rt" === $address, "the download address is made from the funnel's number and key, not its slug: $address" );
expect( '' === $fn( 'download_url' )( new WP_Post( array( 'ID' => 9 ) ) ), 'a funnel without a key has no download address' );

$wp['meta'][7][ $front_key ] = '<form action="https://pay.example/"><input type="hidden" name="return" value="[download_url]"><input name="note" value="[download_url ]"></form>';
$shown                   = $fn( 'shown_tag' )( 7, 'front_tag' );
expect( false !== strpos( $shown, 'value="' . esc_url( $address ) . '"' ) && false !== strpos( $shown, '[download_url ]' ), '[download_url] in a tag becomes the download address, escaped for an attribute; nothing else changes' );
$wp['meta'][7][ $key_field ] = 'NewKey0000000000';
expect( false !== strpos( $fn( 'shown_tag' )( 7, 'front_tag' ), 'NewKey0000000000' ), '[download_url] follows a new key' );

// An address with the old slug is sent on to the new one with the key and the file it asked for.
$file_arg           = $fn( 'file_arg' )();
$_GET               = array(
    $key_arg  => 'Zq3v9XkP0e7Lm2Rt',
    $file_arg => 'files/My Guide & more.pdf',
    'utm'     => 'x',
);
$wp['query_vars']   = array( 'post_type' => $type );
$redirect           = $fn( 'old_slug_keeps_key' )( 'http://127.0.0.1/funnel/new-slug/' );
$wp['query_vars']   = array( 'post_type' => 'post' );
$other_type         = $fn( 'old_slug_keeps_key' )( 'http://127.0.0.1/hello/' );
expect( "http://127.0.0.1/funnel/new-slug/?$key_arg=Zq3v9XkP0e7Lm2Rt&$file_arg=" . rawurlencode( 'files/My Guide & more.pdf' ) === $redirect, "the old-slug redirect keeps the key and the file, encoded, and nothing else: $redirect" );
expect( 'http://127.0.0.1/hello/' === $other_type, 'the old-slug redirect of another post type is left alone' );
$_GET = array();

// The funnel list: the address column beside the title, and the state of each tag.
$columns = $fn( 'list_columns' )( array( 'cb' => '', 'title' => 'Title', 'date' => 'Date' ) );
expect( array( 'cb', 'title', $id . '_address', $id . '_tags', 'date' ) === array_keys( $columns ), 'the list shows the address and the tags right after the title' );
$wp['meta'][7][ $fn( 'meta_key' )( 'back_tag' ) ] = " \n ";
ob_start();
$fn( 'list_cell' )( $id . '_address', 7 );
$fn( 'list_cell' )( $id . '_tags', 7 );
$cells = ob_get_clean();
expect( false !== strpos( $cells, 'value="' . esc_url( $fn( 'download_url' )( $post ) ) . '"' ), "the address column holds the funnel's download address" );
expect( 1 === substr_count( $cells, ': filled in' ) && 1 === substr_count( $cells, '<strong>empty</strong>' ), 'the tags column says which tag is filled in and which is empty (white space counts as empty)' );

echo json_encode( $results );
