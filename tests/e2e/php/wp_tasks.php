<?php
// Runs one task inside the test site from the command line, with WordPress loaded.
// Usage: php wp_tasks.php DOCROOT HOST:PORT TASK [ARGS...]

list( , $docroot, $hostport, $task ) = $argv + array( null, null, null, null );
$args = array_slice( $argv, 4 );

$_SERVER['HTTP_HOST']      = $hostport;
$_SERVER['SERVER_NAME']    = '127.0.0.1';
$_SERVER['SERVER_PORT']    = explode( ':', $hostport )[1] ?? '80';
$_SERVER['REQUEST_URI']    = '/';
$_SERVER['REQUEST_METHOD'] = 'GET';
if ( getenv( 'WP_INSTALLING' ) ) {
    define( 'WP_INSTALLING', true );
}
require $docroot . '/wp-load.php';

function e2e_fail( $message, $code = 1 ) {
    fwrite( STDERR, $message . "\n" );
    exit( $code );
}

switch ( $task ) {
    case 'install-site':
        // Pluggable: the install would otherwise try to send mail.
        function wp_new_blog_notification() {}
        require_once ABSPATH . 'wp-admin/includes/upgrade.php';
        $result = wp_install( 'Vantor Test Site', 'admin', 'admin@example.invalid', false, '', 'admin-e2e-pass' );
        update_option( 'permalink_structure', '/%postname%/' );
        flush_rewrite_rules( false );
        echo 'WordPress ', get_bloginfo( 'version' ), ', admin user ', $result['user_id'], ', theme ', get_stylesheet(), "\n";
        break;

    case 'plugin-header':
        require_once ABSPATH . 'wp-admin/includes/plugin.php';
        $file   = WP_PLUGIN_DIR . '/' . $args[0];
        $fields = get_plugin_data( $file, false, false );
        $extra  = get_file_data( $file, array( 'License' => 'License' ) );
        foreach ( array( 'Name', 'PluginURI', 'Description', 'Version', 'Author', 'AuthorURI' ) as $field ) {
            echo $field, "\t", $fields[ $field ], "\n";
        }
        echo "License\t", $extra['License'], "\n";
        break;

    case 'install-zip':
        // install-zip ZIP ziparchive|pclzip: installs a plugin ZIP with Plugin_Upgrader through
        // the unzip path named, and prints the plugin's folder.
        // What wp-admin loads before an upgrader runs: the file system and plugin functions.
        require_once ABSPATH . 'wp-admin/includes/file.php';
        require_once ABSPATH . 'wp-admin/includes/misc.php';
        require_once ABSPATH . 'wp-admin/includes/plugin.php';
        require_once ABSPATH . 'wp-admin/includes/class-wp-upgrader.php';
        $use_ziparchive = 'ziparchive' === $args[1];
        $asked          = 0;
        add_filter(
            'unzip_file_use_ziparchive',
            function () use ( $use_ziparchive, &$asked ) {
                ++$asked;
                return $use_ziparchive;
            }
        );
        if ( $use_ziparchive && ! class_exists( 'ZipArchive' ) ) {
            e2e_fail( 'ZipArchive is missing (php-zip)' );
        }
        $upgrader = new Plugin_Upgrader( new Automatic_Upgrader_Skin() );
        $result   = $upgrader->install( $args[0] );
        if ( true !== $result ) {
            e2e_fail( is_wp_error( $result ) ? $result->get_error_message() : 'install returned ' . var_export( $result, true ) );
        }
        if ( 0 === $asked ) {
            e2e_fail( 'the unzip path was never chosen' );
        }
        echo untrailingslashit( $upgrader->result['destination'] ), "\n";
        break;

    case 'plugins-dir':
        echo WP_PLUGIN_DIR, "\n";
        break;

    case 'plugins-url':
        echo plugins_url(), "\n";
        break;

    case 'uploads': // the uploads folder on disk and on the web, tab-separated
        $uploads = wp_upload_dir( null, false );
        echo $uploads['basedir'], "\t", $uploads['baseurl'], "\n";
        break;

    case 'themes-url':
        echo get_theme_root_uri(), "\n";
        break;

    case 'active-plugins':
        foreach ( (array) get_option( 'active_plugins' ) as $file ) {
            echo $file, "\n";
        }
        break;

    case 'themes-dir':
        echo get_theme_root(), "\n";
        break;

    case 'stylesheet':
        echo get_stylesheet(), "\n";
        break;

    case 'switch-theme':
        switch_theme( $args[0] );
        echo get_stylesheet(), "\n";
        break;

    case 'add-user': // LOGIN PASSWORD ROLE [CAPABILITY...]: a user of the role, with single capabilities on top as a role editor gives them
        $id = wp_insert_user( array( 'user_login' => $args[0], 'user_pass' => $args[1], 'user_email' => $args[0] . '@example.invalid', 'role' => $args[2] ) );
        if ( is_wp_error( $id ) ) {
            e2e_fail( $id->get_error_message() );
        }
        $user = new WP_User( $id );
        foreach ( array_slice( $args, 3 ) as $cap ) {
            $user->add_cap( $cap );
        }
        echo $id, "\n";
        break;

    case 'nonce': // COOKIE_JAR ACTION: the nonce the user signed in with the jar's cookies gets for ACTION, as a screen of theirs would print it
        foreach ( file( $args[0], FILE_IGNORE_NEW_LINES ) as $line ) {
            $cookie = explode( "\t", $line );
            if ( 7 === count( $cookie ) && LOGGED_IN_COOKIE === $cookie[5] ) {
                $_COOKIE[ LOGGED_IN_COOKIE ] = urldecode( $cookie[6] );
            }
        }
        $user = wp_validate_auth_cookie( $_COOKIE[ LOGGED_IN_COOKIE ] ?? '', 'logged_in' );
        if ( ! $user ) {
            e2e_fail( 'no signed-in user in ' . $args[0] );
        }
        wp_set_current_user( $user );
        echo wp_create_nonce( $args[1] ), "\n";
        break;

    case 'home-keyed': // ID POST: the funnel's download address, key included
        echo call_user_func( $args[0] . '_keyed_url', (int) $args[1] ), "\n";
        break;

    case 'add-buyer': // ID POST EMAIL: a buyer added by hand, as the owner would
        $added = call_user_func( $args[0] . '_add_buyer', (int) $args[1], $args[2], 'manual' );
        echo wp_json_encode( $added ), "\n";
        break;

    case 'upgrade': // ID FROM: the plugin's upgrade steps from version FROM, as an update runs them
        do_action( $args[0] . '_upgrade', $args[1] );
        break;

    case 'funnel-settings': // ID POST JSON: changes a funnel's payment settings, as its screen would
        $problems = call_user_func( $args[0] . '_save_funnel_settings', (int) $args[1], json_decode( $args[2], true ) );
        if ( $problems ) {
            e2e_fail( 'settings refused: ' . wp_json_encode( $problems ) );
        }
        echo wp_json_encode( call_user_func( $args[0] . '_funnel_settings', (int) $args[1] ) ), "\n";
        break;

    case 'listener-url': // ID PROVIDER POST
        echo call_user_func( $args[0] . '_listener_url', $args[1], (int) $args[2] ), "\n";
        break;

    case 'payment-notes': // ID POST: the notes the owner will see, newest first, one a line
        foreach ( call_user_func( $args[0] . '_payment_notes', (int) $args[1] ) as $note ) {
            echo $note['source'], "\t", $note['outcome'], "\t", $note['detail'], "\n";
        }
        break;

    case 'paypal-stub': // ID URL: the PayPal confirmation of plugin ID goes to the local stub at URL
        $stubs             = (array) get_option( 'e2e_paypal_stub', array() );
        $stubs[ $args[0] ] = $args[1];
        update_option( 'e2e_paypal_stub', $stubs );
        break;

    case 'privacy-export': // EMAIL: every exporter's items, checked as core's export tool checks them
        foreach ( apply_filters( 'wp_privacy_personal_data_exporters', array() ) as $exporter ) {
            if ( ! isset( $exporter['exporter_friendly_name'] ) || ! is_callable( $exporter['callback'] ?? null ) ) {
                e2e_fail( 'an exporter without a name or callback: ' . wp_json_encode( $exporter ) );
            }
            for ( $page = 1; $page < 100; $page++ ) {
                $response = call_user_func( $exporter['callback'], $args[0], $page );
                if ( ! is_array( $response ) || ! is_array( $response['data'] ?? null ) || ! array_key_exists( 'done', $response ) ) {
                    e2e_fail( $exporter['exporter_friendly_name'] . ' answered out of shape: ' . wp_json_encode( $response ) );
                }
                foreach ( $response['data'] as $item ) {
                    foreach ( $item['data'] as $field ) {
                        echo $item['group_id'], "\t", $item['item_id'], "\t", $field['name'], "\t", str_replace( "\n", ' | ', $field['value'] ), "\n";
                    }
                }
                if ( $response['done'] ) {
                    break;
                }
            }
        }
        break;

    case 'privacy-erase': // EMAIL: every eraser, round after round until it is done, as core's erasure tool runs them
        foreach ( apply_filters( 'wp_privacy_personal_data_erasers', array() ) as $eraser ) {
            for ( $page = 1; $page < 100; $page++ ) {
                $response = call_user_func( $eraser['callback'], $args[0], $page );
                foreach ( array( 'items_removed', 'items_retained', 'messages', 'done' ) as $key ) {
                    if ( ! is_array( $response ) || ! array_key_exists( $key, $response ) ) {
                        e2e_fail( $eraser['eraser_friendly_name'] . " answered without $key: " . wp_json_encode( $response ) );
                    }
                }
                echo $eraser['eraser_friendly_name'], "\t", $page, "\t", $response['items_removed'] ? 'removed' : 'none', "\n";
                if ( $response['done'] ) {
                    break;
                }
            }
        }
        break;

    default:
        e2e_fail( "unknown task '$task'", 2 );
}
